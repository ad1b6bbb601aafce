#include "io/netdevices.h"

#include "io/portworker.h"

#include <QHostInfo>
#include <QNetworkDatagram>

#include <algorithm>

namespace {

// As for a serial line: a socket is given chunks only while it holds less than this, so that
// most of a backlog stays in whole chunks that can still be dropped.
constexpr qint64 kHandOverBelow = 64 * 1024;

PortFailure badAddress(const QString &device) {
    return {.cause = PortFailure::Cause::BadAddress, .device = device};
}

PortFailure systemFailure(const QString &device, const QString &text) {
    return {.cause = PortFailure::Cause::Other, .device = device, .systemText = text};
}

// An empty host means all interfaces; a name rather than a number is no address to wait at.
QHostAddress waitAddress(const NetAddress &address) {
    if (address.host.isEmpty())
        return QHostAddress::Any;
    if (address.host.compare(u"localhost", Qt::CaseInsensitive) == 0)
        return QHostAddress::LocalHost;
    return QHostAddress(address.host);
}

} // namespace

TcpClientDevice::TcpClientDevice(QObject *parent)
    : PortDevice(parent) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &TcpClientDevice::connectNow);
    connect(&m_socket, &QAbstractSocket::stateChanged, this, &TcpClientDevice::stateChanged);
}

TcpClientDevice::~TcpClientDevice() {
    m_socket.disconnect(this);
    close();
}

PortDevice::Opened TcpClientDevice::open(const QString &device, const LineSettings &) {
    m_failure = {};
    const std::optional<NetAddress> address = netAddress(device, PortDirection::Input);
    if (!address || address->protocol != NetAddress::Protocol::Tcp) {
        m_failure = badAddress(device);
        return Opened::No;
    }
    // Activating again while connected keeps the connection, as a serial line keeps its bytes.
    if (m_active && device == m_device && m_socket.state() == QAbstractSocket::ConnectedState)
        return Opened::Yes;
    close();
    m_device = device;
    m_address = *address;
    m_active = true;
    m_pause = kFirstPause;
    connectNow();
    return Opened::Yes;
}

void TcpClientDevice::close() {
    m_active = false;
    m_interrupted = false;
    m_retry.stop();
    m_socket.abort();
}

void TcpClientDevice::connectNow() {
    if (m_active)
        m_socket.connectToHost(m_address.host, m_address.port);
}

void TcpClientDevice::stateChanged(QAbstractSocket::SocketState state) {
    if (!m_active)
        return;
    if (state == QAbstractSocket::ConnectedState) {
        m_pause = kFirstPause;
        if (m_interrupted) {
            m_interrupted = false;
            emit returned();
        }
        return;
    }
    if (state != QAbstractSocket::UnconnectedState)
        return;
    // Refused, unreachable or closed by the peer: try again after a pause that grows, so that a
    // peer away for long is not knocked at several times a second.
    m_retry.start(m_pause);
    m_pause = std::min(m_pause * 2, kLongestPause);
    if (!m_interrupted) {
        m_interrupted = true;
        m_failure = systemFailure(m_device, m_socket.errorString());
        emit interrupted();
    }
}

TcpServerDevice::TcpServerDevice(QObject *parent)
    : PortDevice(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &TcpServerDevice::accept);
}

TcpServerDevice::~TcpServerDevice() {
    close();
}

PortDevice::Opened TcpServerDevice::open(const QString &device, const LineSettings &) {
    m_failure = {};
    const std::optional<NetAddress> address = netAddress(device, PortDirection::Output);
    const QHostAddress at = address ? waitAddress(*address) : QHostAddress();
    if (!address || address->protocol != NetAddress::Protocol::Tcp || at.isNull()) {
        m_failure = badAddress(device);
        return Opened::No;
    }
    // Activating again keeps the clients that are connected.
    if (m_server.isListening() && device == m_device)
        return Opened::Yes;
    close();
    m_device = device;
    if (!m_server.listen(at, address->port)) {
        m_failure = systemFailure(device, m_server.errorString());
        return Opened::No;
    }
    emit clients(0);
    return Opened::Yes;
}

void TcpServerDevice::close() {
    m_server.close();
    for (const std::unique_ptr<Client> &client : m_clients) {
        client->socket->disconnect(this);
        client->socket->abort();
        client->socket->deleteLater();
    }
    m_clients.clear();
}

void TcpServerDevice::accept() {
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (int(m_clients.size()) >= kMaxClients) {
            const QString peer =
                socket->peerAddress().toString() + u':' + QString::number(socket->peerPort());
            socket->abort();
            socket->deleteLater();
            emit refused(peer);
            continue;
        }
        // A kernel buffer of megabytes would let a slow client lag far beyond its backlog; the
        // backlog is what bounds it.
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(kHandOverBelow));
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto client = std::make_unique<Client>();
        client->socket = socket;
        Client *c = client.get();
        m_clients.push_back(std::move(client));
        // Clients have nothing to say to this port; what they send is read and thrown away.
        connect(socket, &QIODevice::readyRead, this, [socket] { socket->readAll(); });
        connect(socket, &QIODevice::bytesWritten, this, [this, c] {
            handOver(*c);
            emit backlogChanged();
        });
        connect(socket, &QAbstractSocket::disconnected, this, [this, socket] { remove(socket); });
        emit clients(int(m_clients.size()));
    }
}

void TcpServerDevice::remove(QTcpSocket *socket) {
    const auto at = std::find_if(m_clients.begin(), m_clients.end(),
                                 [socket](const auto &client) { return client->socket == socket; });
    if (at == m_clients.end())
        return;
    socket->disconnect(this);
    socket->deleteLater();
    m_clients.erase(at);
    emit clients(int(m_clients.size()));
    emit backlogChanged();
}

void TcpServerDevice::write(const QByteArray &chunk) {
    qint64 droppedBytes = 0;
    for (const std::unique_ptr<Client> &client : m_clients) {
        Client &c = *client;
        c.queue.push_back(chunk);
        c.queued += chunk.size();
        while (!c.queue.empty() &&
               c.socket->bytesToWrite() + c.queued > PortWorker::kBacklogLimit) {
            droppedBytes += c.queue.front().size();
            c.queued -= c.queue.front().size();
            c.queue.pop_front();
        }
        handOver(c);
    }
    if (droppedBytes > 0)
        emit dropped(droppedBytes);
}

void TcpServerDevice::handOver(Client &c) {
    while (!c.queue.empty() && c.socket->bytesToWrite() < kHandOverBelow) {
        c.socket->write(c.queue.front());
        c.queued -= c.queue.front().size();
        c.queue.pop_front();
    }
}

qint64 TcpServerDevice::backlog() const {
    qint64 fullest = 0;
    for (const std::unique_ptr<Client> &c : m_clients)
        fullest = std::max(fullest, c->socket->bytesToWrite() + c->queued);
    return fullest;
}

UdpInputDevice::UdpInputDevice(QObject *parent)
    : PortDevice(parent) {}

PortDevice::Opened UdpInputDevice::open(const QString &device, const LineSettings &) {
    m_failure = {};
    const std::optional<NetAddress> address = netAddress(device, PortDirection::Input);
    const QHostAddress at = address ? waitAddress(*address) : QHostAddress();
    if (!address || address->protocol != NetAddress::Protocol::Udp || at.isNull()) {
        m_failure = badAddress(device);
        return Opened::No;
    }
    if (m_socket.state() == QAbstractSocket::BoundState && device == m_device)
        return Opened::Yes;
    close();
    m_device = device;
    // Shared, so that another program on this machine can listen to the same broadcasts.
    if (!m_socket.bind(at, address->port,
                       QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        m_failure = systemFailure(device, m_socket.errorString());
        return Opened::No;
    }
    return Opened::Yes;
}

void UdpInputDevice::close() {
    m_socket.abort();
}

QByteArray UdpInputDevice::readAvailable() {
    // An empty datagram is no chunk, and must not end the reading while others wait.
    while (m_socket.hasPendingDatagrams()) {
        const QByteArray datagram = m_socket.receiveDatagram().data();
        if (!datagram.isEmpty())
            return datagram;
    }
    return QByteArray();
}

UdpOutputDevice::UdpOutputDevice(QObject *parent)
    : PortDevice(parent) {}

PortDevice::Opened UdpOutputDevice::open(const QString &device, const LineSettings &) {
    m_failure = {};
    const std::optional<NetAddress> address = netAddress(device, PortDirection::Output);
    if (!address || address->protocol != NetAddress::Protocol::Udp) {
        m_failure = badAddress(device);
        return Opened::No;
    }
    if (m_socket.state() == QAbstractSocket::BoundState && device == m_device)
        return Opened::Yes;
    close();
    m_device = device;
    m_port = address->port;
    m_target = QHostAddress(address->host);
    const bool v6 = m_target.protocol() == QAbstractSocket::IPv6Protocol;
    if (!m_socket.bind(v6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4, 0)) {
        m_failure = systemFailure(device, m_socket.errorString());
        return Opened::No;
    }
    // A host name is looked up without waiting; datagrams go nowhere until it is known.
    if (m_target.isNull()) {
        m_lookup = QHostInfo::lookupHost(address->host, this, [this](const QHostInfo &info) {
            if (info.lookupId() != m_lookup)
                return;
            for (const QHostAddress &found : info.addresses()) {
                if (found.protocol() == QAbstractSocket::IPv4Protocol) {
                    m_target = found;
                    return;
                }
            }
        });
    }
    return Opened::Yes;
}

void UdpOutputDevice::close() {
    m_lookup = -1;
    m_target.clear();
    m_socket.abort();
}

void UdpOutputDevice::write(const QByteArray &chunk) {
    qint64 droppedBytes = 0;
    QByteArrayView rest = chunk;
    while (!rest.isEmpty()) {
        // Whole lines per datagram where they fit, so that a receiver parsing each datagram on
        // its own rarely sees a sentence cut in two.
        qsizetype size = std::min(rest.size(), kDatagramSize);
        if (size < rest.size()) {
            const qsizetype lineEnd = rest.first(size).lastIndexOf('\n');
            if (lineEnd >= 0)
                size = lineEnd + 1;
        }
        const QByteArray datagram = rest.first(size).toByteArray();
        if (m_target.isNull() || m_socket.writeDatagram(datagram, m_target, m_port) < 0)
            droppedBytes += size;
        rest = rest.sliced(size);
    }
    if (droppedBytes > 0)
        emit dropped(droppedBytes);
}
