#include "streamserver.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString systemError(const QString &what) {
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

StreamServer::~StreamServer() {
    for (Client &client : m_clients)
        ::close(client.fd);
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

bool StreamServer::listen(const QString &address, int port, QString *error) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    const QByteArray host = address.toLatin1();
    auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
    if (inet_pton(AF_INET, host.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, host.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v6;
    } else {
        *error = QStringLiteral("%1 is no IPv4 or IPv6 address").arg(address);
        return false;
    }
    m_listenFd = socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) {
        *error = systemError(QStringLiteral("cannot open a TCP socket"));
        return false;
    }
    // A restarted simulator takes its port back at once, not after the old connections' wait.
    const int on = 1;
    setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(m_listenFd, reinterpret_cast<sockaddr *>(&storage), length) != 0 ||
        ::listen(m_listenFd, 16) != 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&storage), &length) != 0) {
        *error = systemError(QStringLiteral("cannot listen on %1 port %2").arg(address).arg(port));
        return false;
    }
    const bool v6Address = storage.ss_family == AF_INET6;
    const int actualPort = ntohs(v6Address ? v6->sin6_port : v4->sin_port);
    const bool anyInterface = v6Address ? IN6_IS_ADDR_UNSPECIFIED(&v6->sin6_addr)
                                        : v4->sin_addr.s_addr == htonl(INADDR_ANY);
    const QString shownHost = anyInterface ? QStringLiteral("localhost")
                              : v6Address  ? QStringLiteral("[%1]").arg(address)
                                           : address;
    m_address = QStringLiteral("tcp://%1:%2").arg(shownHost).arg(actualPort);
    return true;
}

void StreamServer::send(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return;
    for (Client &client : m_clients) {
        client.backlog.append(bytes);
        const qsizetype excess = client.backlog.size() - kBacklogLimit;
        if (excess > 0) {
            // Resume at the start of a line where one is near, so the reader sees one cut
            // sentence rather than two.
            qsizetype cut = excess;
            const qsizetype lineEnd = client.backlog.indexOf('\n', cut - 1);
            if (lineEnd >= 0 && lineEnd - cut < 1024)
                cut = lineEnd + 1;
            client.backlog.remove(0, cut);
        }
    }
    std::erase_if(m_clients, [this](Client &client) {
        if (flush(client))
            return false;
        ::close(client.fd);
        return true;
    });
}

qsizetype StreamServer::room() const {
    qsizetype room = 0;
    for (const Client &client : m_clients)
        room = std::max(room, kBacklogLimit - client.backlog.size());
    return room;
}

qsizetype StreamServer::backlog() const {
    qsizetype waiting = 0;
    for (const Client &client : m_clients)
        waiting += client.backlog.size();
    return waiting;
}

void StreamServer::addPollFds(std::vector<pollfd> &fds) const {
    fds.push_back({m_listenFd, POLLIN, 0});
    for (const Client &client : m_clients) {
        const short events = static_cast<short>((client.readClosed ? 0 : POLLIN) |
                                                (client.backlog.isEmpty() ? 0 : POLLOUT));
        fds.push_back({client.fd, events, 0});
    }
}

void StreamServer::service(const std::vector<pollfd> &polled) {
    const auto revents = [&polled](int fd) {
        const auto found = std::find_if(polled.begin(), polled.end(),
                                        [fd](const pollfd &entry) { return entry.fd == fd; });
        return found == polled.end() ? 0 : found->revents;
    };
    std::erase_if(m_clients, [&](Client &client) {
        const short events = revents(client.fd);
        bool gone = (events & (POLLERR | POLLHUP)) != 0;
        if (!gone && (events & POLLIN)) {
            // What a client says is not listened to.
            char discard[512];
            const ssize_t count = recv(client.fd, discard, sizeof discard, MSG_DONTWAIT);
            if (count == 0)
                client.readClosed = true;
            gone = count < 0 && errno != EAGAIN && errno != EINTR;
        }
        if (!gone && !flush(client))
            gone = true;
        if (gone)
            ::close(client.fd);
        return gone;
    });
    if (revents(m_listenFd) & POLLIN)
        accept();
}

void StreamServer::accept() {
    for (;;) {
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return; // EAGAIN: no one else waiting; a client that gave up before: not ours
        // Bytes leave in the slices a serial line would carry, not gathered into larger ones.
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_clients.push_back({fd, QByteArray(), false});
    }
}

bool StreamServer::flush(Client &client) {
    while (!client.backlog.isEmpty()) {
        const ssize_t written =
            ::send(client.fd, client.backlog.constData(), client.backlog.size(), MSG_NOSIGNAL);
        if (written < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        client.backlog.remove(0, written);
    }
    return true;
}

void StreamServer::closeClients() {
    for (Client &client : m_clients) {
        shutdown(client.fd, SHUT_WR);
        ::close(client.fd);
    }
    m_clients.clear();
}
