#pragma once

// A failed property stops the run; libFuzzer reports it as a crash and keeps the input.
inline void require(bool property) {
    if (!property)
        __builtin_trap();
}
