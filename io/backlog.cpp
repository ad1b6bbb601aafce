#include "io/backlog.h"

#include <algorithm>

void Backlog::append(QByteArrayView chunk, Clock::time_point now) {
    if (chunk.isEmpty())
        return;
    // The consumer has been behind only from now on.
    if (m_blocks.empty())
        m_lastProgress = now;
    m_size += chunk.size();
    if (!m_blocks.empty()) {
        QByteArray &last = m_blocks.back();
        if (last.capacity() - last.size() >= chunk.size()) {
            last.append(chunk);
            return;
        }
    }
    // A chunk never spans two blocks, so that dropping whole blocks drops whole chunks.
    QByteArray block;
    block.reserve(std::max(chunk.size(), kBlockSize));
    block.append(chunk);
    m_held += block.capacity();
    m_blocks.push_back(std::move(block));
}

QByteArrayView Backlog::front() const {
    if (m_blocks.empty())
        return {};
    return QByteArrayView(m_blocks.front()).sliced(m_frontTaken);
}

void Backlog::took(qsizetype bytes, Clock::time_point now) {
    if (bytes <= 0)
        return;
    m_lastProgress = now;
    m_size -= bytes;
    m_frontTaken += bytes;
    while (!m_blocks.empty() && m_frontTaken >= m_blocks.front().size()) {
        m_frontTaken -= m_blocks.front().size();
        m_held -= m_blocks.front().capacity();
        m_blocks.pop_front();
    }
}

void Backlog::clear() {
    m_blocks.clear();
    m_frontTaken = 0;
    m_size = 0;
    m_held = 0;
    m_waitingSince.reset();
}

bool Backlog::keepWithin(bool sourceCanWait, Clock::time_point now) {
    // Once the source waits, it goes on only when there is room for more than a read or two.
    const qint64 resumeBelow = m_limit / 2;
    if (m_waitingSince) {
        if (m_held <= resumeBelow) {
            m_waitingSince.reset();
            return false;
        }
    } else if (m_held <= m_limit) {
        return false;
    }
    const bool stalled = stalledFor(m_timings.stall, now);
    if (sourceCanWait && !stalled) {
        if (!m_waitingSince)
            m_waitingSince = now;
        if (now - *m_waitingSince < m_timings.waitAtMost)
            return true;
    }
    // A consumer that keeps reading but stays far behind leaves room for the source to go on
    // for a while before it holds it up again.
    const bool hopelesslyBehind = m_waitingSince && !stalled;
    m_waitingSince.reset();
    dropOldestTo(hopelesslyBehind ? resumeBelow : m_limit);
    return false;
}

std::optional<Backlog::Clock::time_point> Backlog::reviewAt() const {
    if (!m_waitingSince)
        return std::nullopt;
    return std::min(m_lastProgress + m_timings.stall, *m_waitingSince + m_timings.waitAtMost);
}

bool Backlog::stalledFor(std::chrono::milliseconds time, Clock::time_point now) const {
    return !m_blocks.empty() && now - m_lastProgress >= time;
}

qint64 Backlog::takeDropped() {
    return std::exchange(m_dropped, 0);
}

void Backlog::dropOldestTo(qint64 target) {
    // A block the consumer has begun to take stays, or it would get half a chunk.
    auto oldest = m_blocks.begin();
    if (m_frontTaken > 0)
        ++oldest;
    while (m_held > target && oldest != m_blocks.end()) {
        m_size -= oldest->size();
        m_held -= oldest->capacity();
        m_dropped += oldest->size();
        oldest = m_blocks.erase(oldest);
    }
}
