#pragma once

// Listening TCP sockets on the loopback for a program that connects to a receiver: one that takes
// connections when asked, and one that never answers.
#include <QtGlobal>

#include <array>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// A listening socket on a free loopback port; connections wait in its queue until accepted.
class LoopbackListener {
public:
    explicit LoopbackListener(int queue = 4) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at = address(0);
        socklen_t length = sizeof at;
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&at), sizeof at);
        ::listen(m_fd, queue);
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&at), &length);
        m_port = ntohs(at.sin_port);
    }
    ~LoopbackListener() { ::close(m_fd); }
    LoopbackListener(const LoopbackListener &) = delete;
    LoopbackListener &operator=(const LoopbackListener &) = delete;

    quint16 port() const { return m_port; }
    // The next connection, -1 when none comes in time.
    int accept(int timeoutMs) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return -1;
        return ::accept(m_fd, nullptr, nullptr);
    }

    static sockaddr_in address(quint16 port) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        at.sin_port = htons(port);
        return at;
    }

private:
    int m_fd = -1;
    quint16 m_port = 0;
};

// A listener that never accepts, with its queue filled: a connect to it hangs, as to a peer whose
// listen queue is full.
class Unanswering {
public:
    Unanswering() {
        const sockaddr_in at = LoopbackListener::address(m_listener.port());
        for (int &blocker : m_blockers) {
            blocker = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(blocker, reinterpret_cast<const sockaddr *>(&at), sizeof at);
        }
    }
    ~Unanswering() {
        for (int blocker : m_blockers)
            ::close(blocker);
    }
    Unanswering(const Unanswering &) = delete;
    Unanswering &operator=(const Unanswering &) = delete;

    quint16 port() const { return m_listener.port(); }

private:
    LoopbackListener m_listener{0};
    std::array<int, 4> m_blockers{};
};
