#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <functional>
#include <sys/types.h>

// Hands bytes to a non-blocking sink no faster than a serial line of the given baud rate (10 bits
// per byte) would carry them, in small slices, so that a reader sees the chunking and timing of a
// real line. Baud 0: as fast as the sink takes them.
class PacedWriter {
public:
    // Takes what it can of the bytes and says how many, as write(2) does: -1 and errno EAGAIN
    // when it takes nothing now.
    using Sink = std::function<ssize_t(const char *data, qsizetype size)>;

    PacedWriter(Sink sink, int baud);

    void append(QByteArrayView bytes) { m_queue.append(bytes); }
    qsizetype pending() const { return m_queue.size() - m_sent; }
    // Bytes a second the line carries; 0 when unpaced.
    double bytesPerSecond() const { return m_bytesPerNanosecond * 1e9; }

    struct Step {
        bool ok = true;             // false: write error, errno says which
        bool needWritable = false;  // the descriptor is full: wait until it takes bytes again
        int64_t wakeAt = INT64_MAX; // monotonic nanoseconds of the next slice
    };
    Step pump(int64_t now);

    static constexpr int64_t kSlice = 4'000'000; // nanoseconds between slices

private:
    Sink m_sink;
    double m_bytesPerNanosecond;
    int64_t m_lineFree = 0; // when the line has sent everything handed over so far
    QByteArray m_queue;
    qsizetype m_sent = 0;
};

// CLOCK_MONOTONIC in nanoseconds.
int64_t monotonicNow();
