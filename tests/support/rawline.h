#pragma once

// The far ends of serial lines, as plain file descriptors served by threads of a test or
// benchmark, so that only the program's own threads are charged: a receiver that writes as fast
// as the line takes it, and a consumer that reads as fast as it can.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// Opens a terminal raw: no echo, no line-end translation, no flow control.
inline int openRaw(const QString &device) {
    const int fd = ::open(qPrintable(device), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return fd;
    termios line{};
    tcgetattr(fd, &line);
    cfmakeraw(&line);
    tcsetattr(fd, TCSANOW, &line);
    return fd;
}

// The consuming program: reads and counts until told to stop.
inline void drain(int fd, const std::atomic<bool> &stop, std::atomic<qint64> &read) {
    char chunk[65536];
    pollfd p{fd, POLLIN, 0};
    while (!stop) {
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            break;
        read += n;
    }
}

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// How long a line may stay silent before a transfer counts as finished short of its goal.
constexpr auto kNoProgress = std::chrono::seconds(10);

// Reads from the consumer's end: counts, keeps the bytes if asked, and notes when each line end
// arrived.
class Consumer {
public:
    Consumer(const QString &device, qint64 expected, bool keep, bool timeLines)
        : m_fd(openRaw(device))
        , m_keep(keep)
        , m_timeLines(timeLines) {
        if (keep)
            m_bytes.reserve(expected);
        m_thread = std::thread([this] { run(); });
    }
    ~Consumer() { stop(); }

    void stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // Waits until `goal` bytes have arrived or nothing arrived for a while; the time the last
    // byte arrived.
    Clock::time_point waitFor(qint64 goal) {
        qint64 seen = -1;
        auto lastChange = Clock::now();
        while (m_count < goal) {
            if (m_count != seen) {
                seen = m_count;
                lastChange = Clock::now();
            } else if (Clock::now() - lastChange > kNoProgress) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return m_last;
    }
    qint64 count() const { return m_count; }
    bool isOpen() const { return m_fd >= 0; }
    // Valid after stop().
    const QByteArray &bytes() const { return m_bytes; }
    const std::vector<Clock::time_point> &lineTimes() const { return m_lineTimes; }

private:
    void run() {
        char chunk[65536];
        pollfd p{m_fd, POLLIN, 0};
        while (!m_stop) {
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            const auto now = Clock::now();
            if (m_keep)
                m_bytes.append(chunk, n);
            if (m_timeLines) {
                for (ssize_t i = 0; i < n; ++i) {
                    if (chunk[i] == '\n')
                        m_lineTimes.push_back(now);
                }
            }
            m_last = now;
            m_count += n;
        }
    }

    int m_fd;
    bool m_keep;
    bool m_timeLines;
    std::atomic<bool> m_stop = false;
    std::atomic<qint64> m_count = 0;
    std::atomic<Clock::time_point> m_last{};
    QByteArray m_bytes;
    std::vector<Clock::time_point> m_lineTimes;
    std::thread m_thread;
};

// The receiver's end, never blocking: the writes below wait in poll, where they can be stopped.
inline int openWriter(const QString &device) {
    const int fd = openRaw(device);
    if (fd >= 0)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

// Writes everything unless told to stop; a relay that stops reading cannot hold the writer
// forever.
inline bool writeAll(int fd, const char *data, qsizetype size,
                     const std::atomic<bool> *stop = nullptr) {
    pollfd p{fd, POLLOUT, 0};
    while (size > 0) {
        if (stop && *stop)
            return false;
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EAGAIN)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

struct Flood {
    double seconds = NAN;
    qint64 arrived = 0;
    bool exact = false;
};

// Writes everything as fast as the line takes it; done when the last byte has come out at the
// consumer.
inline Flood measureFlood(const QString &from, const QString &to, const QByteArray &data,
                          bool keep) {
    Consumer consumer(to, data.size(), keep, false);
    const int fd = openWriter(from);
    std::atomic<bool> giveUp = false;
    const auto start = Clock::now();
    std::thread receiver([&] { writeAll(fd, data.constData(), data.size(), &giveUp); });
    const auto last = consumer.waitFor(data.size());
    consumer.stop();
    giveUp = true;
    receiver.join();
    ::close(fd);
    Flood result;
    result.arrived = consumer.count();
    result.exact = keep ? consumer.bytes() == data : result.arrived == data.size();
    if (result.arrived > 0)
        result.seconds = msSince(start, last) / 1000;
    return result;
}
