#pragma once

// Long inputs for tests and benchmarks made from a short text.
#include <QtGlobal>

// The text repeated and cut to `size` bytes or characters; QByteArray or QString.
template <typename Text> Text repeatTo(const Text &text, qsizetype size) {
    Text out;
    out.reserve(size);
    while (out.size() < size)
        out += text.left(size - out.size());
    return out;
}
