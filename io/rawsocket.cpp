#include "io/rawsocket.h"

#include <QHostAddress>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace RawSocket {

namespace {

#ifdef Q_OS_WIN
using Native = SOCKET;
constexpr int kNoSignal = 0;
bool wouldBlock() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}
#else
using Native = int;
#ifdef MSG_NOSIGNAL
// A peer that has gone must show as an error here, not end the program with SIGPIPE.
constexpr int kNoSignal = MSG_NOSIGNAL;
#else
constexpr int kNoSignal = 0;
#endif
bool wouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}
#endif

Native native(qintptr socket) {
    return Native(socket);
}

template <typename Value> void setOption(qintptr socket, int level, int name, Value value) {
    ::setsockopt(native(socket), level, name, reinterpret_cast<const char *>(&value), sizeof value);
}

} // namespace

void prepareClient(qintptr socket, int sendBufferBytes) {
#ifdef Q_OS_WIN
    u_long on = 1;
    ::ioctlsocket(native(socket), FIONBIO, &on);
#else
    ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
#if defined(SO_NOSIGPIPE)
    setOption(socket, SOL_SOCKET, SO_NOSIGPIPE, 1);
#endif
#endif
    setOption(socket, IPPROTO_TCP, TCP_NODELAY, 1);
    setOption(socket, SOL_SOCKET, SO_SNDBUF, sendBufferBytes);
}

QString peerName(qintptr socket) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(native(socket), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return QString();
    const QHostAddress host(reinterpret_cast<const sockaddr *>(&address));
    quint16 port = 0;
    if (address.ss_family == AF_INET)
        port = ntohs(reinterpret_cast<const sockaddr_in *>(&address)->sin_port);
    else if (address.ss_family == AF_INET6)
        port = ntohs(reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_port);
    const QString text = host.toString();
    return (text.contains(u':') ? u'[' + text + u']' : text) + u':' + QString::number(port);
}

qint64 sendSome(qintptr socket, QByteArrayView bytes) {
    const auto sent = ::send(native(socket), bytes.data(),
                             int(std::min<qsizetype>(bytes.size(), 1 << 30)), kNoSignal);
    if (sent >= 0)
        return sent;
    return wouldBlock() ? 0 : -1;
}

Received discard(qintptr socket) {
    char buffer[16 * 1024];
    const auto got = ::recv(native(socket), buffer, sizeof buffer, 0);
    if (got > 0)
        return Received::Data;
    if (got == 0)
        return Received::End;
    return wouldBlock() ? Received::Nothing : Received::Gone;
}

bool isBroken(qintptr socket) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error),
                     &length) != 0)
        return true;
    return error != 0;
}

void close(qintptr socket) {
#ifdef Q_OS_WIN
    ::closesocket(native(socket));
#else
    ::close(socket);
#endif
}

void keepAlive(qintptr socket, std::chrono::seconds idle, std::chrono::seconds interval,
               int count) {
    setOption(socket, SOL_SOCKET, SO_KEEPALIVE, 1);
#if defined(TCP_KEEPIDLE) && defined(TCP_KEEPINTVL) && defined(TCP_KEEPCNT)
    setOption(socket, IPPROTO_TCP, TCP_KEEPIDLE, int(idle.count()));
    setOption(socket, IPPROTO_TCP, TCP_KEEPINTVL, int(interval.count()));
    setOption(socket, IPPROTO_TCP, TCP_KEEPCNT, count);
#else
    Q_UNUSED(idle)
    Q_UNUSED(interval)
    Q_UNUSED(count)
#endif
}

int enlargeReceiveBuffer(qintptr socket, int bytes) {
#ifdef SO_RCVBUFFORCE
    // Allowed with administrator rights; ordinary programs are held to net.core.rmem_max.
    if (::setsockopt(native(socket), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        setOption(socket, SOL_SOCKET, SO_RCVBUF, bytes);
#else
    setOption(socket, SOL_SOCKET, SO_RCVBUF, bytes);
#endif
    int granted = 0;
    socklen_t length = sizeof granted;
    ::getsockopt(native(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char *>(&granted),
                 &length);
    return granted;
}

} // namespace RawSocket
