#pragma once

// The far ends of the benchmarks' serial lines, as plain file descriptors served by threads of
// the benchmark, so that only the window's thread is charged.

#include <QString>

#include <atomic>

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
