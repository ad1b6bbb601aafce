#include "pacer.h"

#include <cerrno>
#include <cmath>
#include <ctime>
#include <utility>

int64_t monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

PacedWriter::PacedWriter(Sink sink, int baud)
    : m_sink(std::move(sink))
    , m_bytesPerNanosecond(baud / 10.0 / 1e9) {}

PacedWriter::Step PacedWriter::pump(int64_t now) {
    Step step;
    if (pending() == 0) {
        m_queue.clear();
        m_sent = 0;
        return step;
    }
    qsizetype allowed = pending();
    if (m_bytesPerNanosecond > 0.0) {
        // An idle or stalled line sends no faster afterwards: only late wake-ups are made up.
        m_lineFree = std::max(m_lineFree, now - 3 * kSlice);
        if (now < m_lineFree) {
            step.wakeAt = m_lineFree;
            return step;
        }
        // Every byte whose start time has come may go.
        const double due = std::floor((now - m_lineFree) * m_bytesPerNanosecond) + 1.0;
        allowed = std::min<qsizetype>(allowed, static_cast<qsizetype>(due));
    }
    const ssize_t written = m_sink(m_queue.constData() + m_sent, allowed);
    if (written < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            step.needWritable = true;
            step.wakeAt = now + kSlice;
            return step;
        }
        step.ok = false;
        return step;
    }
    m_sent += written;
    if (m_bytesPerNanosecond > 0.0) {
        m_lineFree += static_cast<int64_t>(std::llround(written / m_bytesPerNanosecond));
        step.wakeAt = std::max(m_lineFree, now + kSlice);
    } else {
        step.needWritable = written < allowed;
        step.wakeAt = now;
    }
    if (pending() == 0) {
        step.wakeAt = INT64_MAX;
        step.needWritable = false;
    } else if (written < allowed) {
        step.needWritable = true;
        step.wakeAt = now + kSlice;
    }
    // Drop what has gone once it is a good part of the buffer.
    if (m_sent > 65536 && m_sent * 2 > m_queue.size()) {
        m_queue.remove(0, m_sent);
        m_sent = 0;
    }
    return step;
}
