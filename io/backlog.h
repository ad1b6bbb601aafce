#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <deque>
#include <optional>

// How long a consumer may lag before it counts as stopped, and how long a source may be kept
// waiting for one consumer; see Backlog.
struct BacklogTimings {
    // Bytes waiting and none taken for this long: the consumer has stopped reading.
    std::chrono::milliseconds stall{2000};
    // The longest a consumer that reads, but slower than the source sends, keeps the source
    // waiting in one go before it loses its oldest bytes instead.
    std::chrono::milliseconds waitAtMost{5000};
};

// The bytes on their way to one consumer, oldest first, bounded by the memory they really take:
// chunks are copied into blocks of a fixed size (or one of their own size), so that a small read
// whose buffer keeps a large capacity costs no more than its bytes.
//
// A consumer that keeps taking bytes gets every one of them in order: while it is more than the
// limit behind, it asks the source to wait, where the source can (a pseudo-terminal, a TCP peer).
// A consumer that has stopped taking bytes, that has kept the source waiting too long, or whose
// source cannot wait (a serial line, UDP) loses its oldest whole chunks instead.
class Backlog {
public:
    using Clock = std::chrono::steady_clock;

    // Memory a backlog may hold unless told less, and the part of it a backlog must come down
    // to before a waiting source goes on.
    static constexpr qint64 kLimit = 1 << 20;
    static constexpr qint64 kResumeBelow = kLimit / 2;
    // Small chunks are packed into blocks of this size.
    static constexpr qsizetype kBlockSize = 16 * 1024;

    // A consumer that holds bytes of its own besides (a port's write buffer) gets a lower limit,
    // so that no more than kLimit wait for it in all.
    explicit Backlog(BacklogTimings timings = {}, qint64 limit = kLimit)
        : m_timings(timings)
        , m_limit(limit) {}

    void append(QByteArrayView chunk, Clock::time_point now = Clock::now());
    // The oldest bytes not yet taken: the rest of the oldest block.
    QByteArrayView front() const;
    // The consumer has taken this many bytes from the front.
    void took(qsizetype bytes, Clock::time_point now = Clock::now());

    bool isEmpty() const { return m_blocks.empty(); }
    // Bytes waiting.
    qint64 size() const { return m_size; }
    // Memory the waiting bytes take.
    qint64 held() const { return m_held; }
    void clear();

    // What a backlog beyond its limit means now, after an append or when asked again: true when
    // the source should wait for this consumer; otherwise the oldest whole chunks are dropped as
    // far as needed, and takeDropped() tells how many bytes that was.
    bool keepWithin(bool sourceCanWait, Clock::time_point now = Clock::now());
    bool holdsSource() const { return m_waitingSince.has_value(); }
    // While holding the source: when keepWithin must be asked again even if nothing happens,
    // because the consumer will count as stopped or has kept the source waiting long enough.
    std::optional<Clock::time_point> reviewAt() const;
    // Since bytes began to wait, or since the consumer last took some.
    Clock::time_point lastProgress() const { return m_lastProgress; }
    // Whether bytes have waited this long without the consumer taking any.
    bool stalledFor(std::chrono::milliseconds time, Clock::time_point now = Clock::now()) const;

    qint64 takeDropped();

private:
    void dropOldestTo(qint64 target);

    BacklogTimings m_timings;
    qint64 m_limit;
    std::deque<QByteArray> m_blocks;
    qsizetype m_frontTaken = 0; // bytes of the oldest block the consumer has taken
    qint64 m_size = 0;
    qint64 m_held = 0;
    qint64 m_dropped = 0;
    Clock::time_point m_lastProgress{};
    std::optional<Clock::time_point> m_waitingSince; // while the source waits for this consumer
};
