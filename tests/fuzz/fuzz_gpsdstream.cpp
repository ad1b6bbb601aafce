// Arbitrary bytes from a peer that says it is gpsd, in arbitrary pieces: the first byte picks the
// piece size, the rest is the stream. Every property is checked against a plain restatement.
//
// The rules:
//  1. A line is what runs up to and including a line feed, or to the end of the stream. The
//     sentences passed on are exactly the lines that do not start with "{", byte for byte, in
//     order, however the stream is cut into pieces.
//  2. feed() reads at least one byte of a piece that is not empty, never more than it is given,
//     and stops early only right after a line feed that ended an object.
//  3. No device is present twice, and with one device asked for, no other is ever present.
//  4. Nothing crashes, hangs or draws a sanitizer report.
#include "logic/gpsdstream.h"
#include "require.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

QByteArray expectedSentences(QByteArrayView stream) {
    QByteArray sentences;
    qsizetype at = 0;
    while (at < stream.size()) {
        const qsizetype newline = stream.indexOf('\n', at);
        const qsizetype end = newline < 0 ? stream.size() : newline + 1;
        if (stream[at] != '{')
            sentences += stream.sliced(at, end - at);
        at = end;
    }
    return sentences;
}

void check(QByteArrayView stream, qsizetype piece, const QString &asked) {
    GpsdStream gpsd(asked);
    QByteArray sentences;
    qsizetype at = 0;
    while (at < stream.size()) {
        const QByteArrayView part = stream.sliced(at, qMin(piece, stream.size() - at));
        const qsizetype used = gpsd.feed(part, sentences);
        require(used >= 1 && used <= part.size());
        if (used < part.size())
            require(part[used - 1] == '\n' && gpsd.devicesChanged());
        at += used;
    }
    require(sentences == expectedSentences(stream));
    const QStringList &present = gpsd.present();
    require(present.size() == QSet<QString>(present.cbegin(), present.cend()).size());
    for (const QString &path : present)
        require(asked.isEmpty() || path == asked);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    const qsizetype piece = qsizetype(data[0] % 64) + 1;
    const QByteArrayView stream(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    check(stream, piece, QString());
    check(stream, stream.size() + 1, QString());
    check(stream, piece, QStringLiteral("/dev/ttyUSB0"));
    return 0;
}
