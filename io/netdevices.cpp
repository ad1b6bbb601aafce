#include "io/netdevices.h"

#include "io/hostlookup.h"
#include "io/rawsocket.h"

#include <QHostInfo>
#include <QLoggingCategory>
#include <QNetworkDatagram>

#include <algorithm>

Q_LOGGING_CATEGORY(lcNet, "pelora.ports.network", QtInfoMsg)

namespace {

PortFailure badAddressOf(const QString &device) {
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

std::chrono::milliseconds nextPause(std::chrono::milliseconds pause, const LinkTimings &timings) {
    return std::min(pause * 2, timings.longestPause);
}

// The reasons a user meets most, in the session's language; the system's own words for the rest.
QString reasonOf(const QAbstractSocket &socket) {
    switch (socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("Verbindung abgelehnt");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("Gegenstelle hat die Verbindung beendet");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("Name nicht auflösbar");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("Zeitüberschreitung");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("Netzwerkfehler (%1)").arg(socket.errorString());
    default:
        return QStringLiteral("Verbindungsfehler (%1)").arg(socket.errorString());
    }
}

QString seconds(std::chrono::milliseconds time) {
    return QString::number(double(time.count()) / 1000.0);
}

} // namespace

// ---- TCP input

TcpClientDevice::TcpClientDevice(const LinkTimings &timings, QObject *parent)
    : PortDevice(timings, parent)
    , m_pause(timings.firstPause) {
    m_socket.setReadBufferSize(kReadBufferSize);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &TcpClientDevice::connectNow);
    m_connectTimeout.setSingleShot(true);
    m_connectTimeout.setInterval(timings.connectTimeout);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        giveUp(
            QStringLiteral("keine Antwort nach %1 s").arg(seconds(this->timings().connectTimeout)));
    });
    m_silence.setSingleShot(true);
    m_silence.setInterval(timings.silence);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        giveUp(QStringLiteral("seit %1 s keine Daten").arg(seconds(this->timings().silence)));
    });
    connect(&m_socket, &QAbstractSocket::connected, this, &TcpClientDevice::connected);
    connect(&m_socket, &QAbstractSocket::stateChanged, this,
            [this](QAbstractSocket::SocketState state) {
                if (state == QAbstractSocket::UnconnectedState)
                    ended();
            });
    connect(&m_socket, &QIODevice::readyRead, this, [this] {
        // Data flows: the link is alive, and the next loss is retried quickly again.
        if (m_watchSilence)
            m_silence.start();
        if (!m_dataFlowed) {
            m_dataFlowed = true;
            m_pause = this->timings().firstPause;
        }
        emit readyRead();
    });
}

TcpClientDevice::~TcpClientDevice() {
    m_socket.disconnect(this);
    close();
}

PortDevice::Opening TcpClientDevice::open(const QString &device, const LineSettings &) {
    m_failure = {};
    const std::optional<NetAddress> address = parseNetAddress(device, PortDirection::Input);
    if (!address || address->protocol == NetAddress::Protocol::Udp) {
        m_failure = badAddressOf(device);
        return Opening::No;
    }
    // Activating again while connected keeps the connection, as a serial line keeps its bytes.
    if (m_active && device == m_device && isOpen())
        return Opening::Yes;
    close();
    m_device = device;
    m_address = *address;
    m_active = true;
    m_pause = timings().firstPause;
    connectNow();
    return Opening::Pending;
}

void TcpClientDevice::close() {
    m_active = false;
    m_connected = false;
    m_retry.stop();
    m_connectTimeout.stop();
    m_silence.stop();
    m_socket.abort();
}

QByteArray TcpClientDevice::read() {
    return m_socket.readAll();
}

void TcpClientDevice::sendToPeer(const QByteArray &bytes) {
    if (isOpen())
        m_socket.write(bytes);
}

void TcpClientDevice::watchSilence(bool watch) {
    m_watchSilence = watch;
    if (!watch)
        m_silence.stop();
    else if (m_connected)
        m_silence.start();
}

std::chrono::milliseconds TcpClientDevice::nextTryIn() const {
    return m_retry.isActive() ? m_retry.remainingTimeAsDuration() : std::chrono::milliseconds(0);
}

void TcpClientDevice::connectNow() {
    if (!m_active)
        return;
    m_dataFlowed = false;
    m_watchSilence = true;
    m_endReason.clear();
    m_connectTimeout.start();
    m_socket.connectToHost(m_address.host, m_address.port);
}

void TcpClientDevice::connected() {
    m_connectTimeout.stop();
    // A receiver that loses power leaves the connection half open; the silence watchdog notices
    // first, and the kernel's probes also end a connection whose peer stopped answering.
    RawSocket::keepAlive(m_socket.socketDescriptor(),
                         std::chrono::duration_cast<std::chrono::seconds>(timings().silence),
                         std::chrono::seconds(2), 3);
    m_silence.start();
    m_connected = true;
    emit opened();
}

void TcpClientDevice::giveUp(const QString &reason) {
    m_endReason = reason;
    m_socket.abort();
}

void TcpClientDevice::ended() {
    m_connectTimeout.stop();
    m_silence.stop();
    if (!m_active)
        return;
    m_failure = systemFailure(m_device, m_endReason.isEmpty() ? reasonOf(m_socket) : m_endReason);
    m_endReason.clear();
    // A try that brought no data, refused or accepted and closed alike, makes the next pause
    // longer, so that a peer away for long is not knocked at several times a second.
    const std::chrono::milliseconds pause = m_pause;
    if (!m_dataFlowed)
        m_pause = nextPause(m_pause, timings());
    m_retry.start(pause);
    if (std::exchange(m_connected, false))
        emit interrupted();
    else
        emit tryFailed(pause);
}

// ---- TCP output

// One client of the TCP output, on a plain socket: bytes go out from its backlog as the kernel
// takes them; what it sends is read and thrown away, at most a buffer's worth per pause.
class TcpClient : public QObject {
public:
    TcpClient(qintptr socket, QString peer, const LinkTimings &timings)
        : m_socket(socket)
        , m_peer(std::move(peer))
        , m_backlog(timings.backlog)
        , m_readable(socket, QSocketNotifier::Read, this)
        , m_writable(socket, QSocketNotifier::Write, this) {
        m_writable.setEnabled(false);
        m_readPause.setSingleShot(true);
        m_readPause.setInterval(kReadPause);
        connect(&m_readPause, &QTimer::timeout, this, [this] {
            if (!m_finishedSending)
                m_readable.setEnabled(true);
        });
        m_aliveCheck.setSingleShot(true);
        m_aliveCheck.setInterval(kAliveCheck);
    }
    ~TcpClient() override {
        m_readable.setEnabled(false);
        m_writable.setEnabled(false);
        RawSocket::close(m_socket);
    }

    // A client sending flat out costs one small read per pause; the kernel then holds it back.
    static constexpr std::chrono::milliseconds kReadPause{20};
    // A client that has closed answers the first bytes sent to it with a reset, within a round
    // trip; after its end of sending, a look this long after bytes went out tells.
    static constexpr std::chrono::milliseconds kAliveCheck{500};

    const QString &peer() const { return m_peer; }
    Backlog &backlog() { return m_backlog; }
    QSocketNotifier &readable() { return m_readable; }
    QSocketNotifier &writable() { return m_writable; }
    QTimer &aliveCheck() { return m_aliveCheck; }
    bool broken() const { return m_broken || RawSocket::isBroken(m_socket); }
    // It has finished sending, and nothing sent to it since has shown whether it still reads
    // or has closed altogether: the two look the same until bytes reach it.
    bool unproven() const { return m_finishedSending && !m_sentSinceEnd; }

    // Hands the kernel as much as it takes; false once the connection is broken.
    bool flush() {
        while (!m_broken && !m_backlog.isEmpty()) {
            const qint64 sent = RawSocket::sendSome(m_socket, m_backlog.front());
            if (sent < 0)
                m_broken = true;
            if (sent <= 0)
                break;
            m_backlog.took(sent);
            if (m_finishedSending) {
                m_sentSinceEnd = true;
                if (!m_aliveCheck.isActive())
                    m_aliveCheck.start();
            }
        }
        m_writable.setEnabled(!m_broken && !m_backlog.isEmpty());
        return !m_broken;
    }

    // Throws away what the client sent; false once the connection is broken. A client that has
    // finished sending stays, and is served on.
    bool drain() {
        switch (RawSocket::discard(m_socket)) {
        case RawSocket::Received::Data:
            m_readable.setEnabled(false);
            m_readPause.start();
            return true;
        case RawSocket::Received::End:
            m_finishedSending = true;
            m_readable.setEnabled(false);
            // Bytes already on their way to a client that has closed bring back a reset.
            if (!m_aliveCheck.isActive())
                m_aliveCheck.start();
            return true;
        case RawSocket::Received::Nothing:
            return true;
        case RawSocket::Received::Gone:
            m_broken = true;
            return false;
        }
        return true;
    }

private:
    qintptr m_socket;
    QString m_peer;
    Backlog m_backlog;
    QSocketNotifier m_readable;
    QSocketNotifier m_writable;
    QTimer m_readPause{this};
    QTimer m_aliveCheck{this};
    bool m_finishedSending = false;
    bool m_sentSinceEnd = false;
    bool m_broken = false;
};

TcpServerDevice::TcpServerDevice(const LinkTimings &timings, QObject *parent)
    : PortDevice(timings, parent) {
    m_server.setListenBacklogSize(kListenQueue);
}

TcpServerDevice::~TcpServerDevice() {
    close();
}

PortDevice::Opening TcpServerDevice::open(const QString &device, const LineSettings &) {
    m_failure = {};
    const std::optional<NetAddress> address = parseNetAddress(device, PortDirection::Output);
    const QHostAddress at = address ? waitAddress(*address) : QHostAddress();
    if (!address || address->protocol != NetAddress::Protocol::Tcp || at.isNull()) {
        m_failure = badAddressOf(device);
        return Opening::No;
    }
    // Activating again keeps the clients that are connected.
    if (m_server.isListening() && device == m_device)
        return Opening::Yes;
    close();
    m_device = device;
    if (!m_server.listen(at, address->port)) {
        m_failure = systemFailure(device, m_server.errorString());
        return Opening::No;
    }
    emit clients(0);
    return Opening::Yes;
}

void TcpServerDevice::close() {
    m_server.close();
    m_clients.clear();
}

void TcpServerDevice::accept(qintptr socket) {
    const QString peer = RawSocket::peerName(socket);
    if (peer.isEmpty()) {
        // Gone before it was taken: it never counts against the limit.
        RawSocket::close(socket);
        return;
    }
    if (int(m_clients.size()) >= kMaxClients && !makeRoom()) {
        RawSocket::close(socket);
        emit refused(peer);
        return;
    }
    RawSocket::prepareClient(socket, kSendBufferBytes);
    auto owned = std::make_unique<TcpClient>(socket, peer, timings());
    TcpClient *client = owned.get();
    connect(&client->readable(), &QSocketNotifier::activated, this, [this, client] {
        if (!client->drain())
            remove(client);
    });
    connect(&client->aliveCheck(), &QTimer::timeout, this, [this, client] {
        if (client->broken())
            remove(client);
    });
    connect(&client->writable(), &QSocketNotifier::activated, this, [this, client] {
        if (!client->flush()) {
            remove(client);
            return;
        }
        emit progressed();
    });
    m_clients.push_back(std::move(owned));
    emit clients(int(m_clients.size()));
}

// Frees a place for a newcomer: broken connections go first, then one that has finished sending
// and may have closed (a client that closes looks like one that has only finished sending until
// bytes reach it), then the client that has taken nothing for longest, if that is longer than
// the idle limit.
bool TcpServerDevice::makeRoom() {
    // An end of sending or a reset may have arrived without being looked at yet.
    std::vector<TcpClient *> broken;
    for (const std::unique_ptr<TcpClient> &client : m_clients) {
        if (!client->drain() || client->broken())
            broken.push_back(client.get());
    }
    for (TcpClient *client : broken)
        remove(client);
    if (int(m_clients.size()) < kMaxClients)
        return true;
    const auto unproven = std::find_if(m_clients.begin(), m_clients.end(),
                                       [](const auto &client) { return client->unproven(); });
    if (unproven != m_clients.end()) {
        remove(unproven->get());
        return true;
    }
    const auto now = Backlog::Clock::now();
    TcpClient *idlest = nullptr;
    for (const std::unique_ptr<TcpClient> &client : m_clients) {
        Backlog &backlog = client->backlog();
        if (backlog.stalledFor(timings().idleClient, now) &&
            (!idlest || backlog.lastProgress() < idlest->backlog().lastProgress()))
            idlest = client.get();
    }
    if (!idlest)
        return false;
    qCDebug(lcNet) << "closing" << idlest->peer() << "which has taken nothing for"
                   << timings().idleClient.count() << "ms, for a new client";
    remove(idlest);
    return true;
}

void TcpServerDevice::remove(TcpClient *client) {
    const auto at = std::find_if(m_clients.begin(), m_clients.end(),
                                 [client](const auto &c) { return c.get() == client; });
    if (at == m_clients.end())
        return;
    // Possibly called from one of the client's own notifiers: it is deleted once that is done.
    TcpClient *gone = at->release();
    m_clients.erase(at);
    gone->readable().setEnabled(false);
    gone->writable().setEnabled(false);
    gone->aliveCheck().stop();
    gone->deleteLater();
    emit clients(int(m_clients.size()));
    emit progressed();
}

bool TcpServerDevice::write(const QByteArray &chunk, bool sourceCanWait) {
    m_sourceCanWait = sourceCanWait;
    bool wait = false;
    qint64 droppedBytes = 0;
    std::vector<TcpClient *> broken;
    const auto now = Backlog::Clock::now();
    for (const std::unique_ptr<TcpClient> &client : m_clients) {
        Backlog &backlog = client->backlog();
        backlog.append(chunk, now);
        wait = backlog.keepWithin(sourceCanWait, now) || wait;
        droppedBytes += backlog.takeDropped();
        if (!client->flush())
            broken.push_back(client.get());
    }
    for (TcpClient *client : broken)
        remove(client);
    reportDropped(droppedBytes);
    return wait;
}

bool TcpServerDevice::holdsSource() {
    bool holds = false;
    qint64 droppedBytes = 0;
    for (const std::unique_ptr<TcpClient> &client : m_clients) {
        Backlog &backlog = client->backlog();
        if (backlog.holdsSource())
            holds = backlog.keepWithin(true) || holds;
        droppedBytes += backlog.takeDropped();
    }
    reportDropped(droppedBytes);
    return holds;
}

std::optional<Backlog::Clock::time_point> TcpServerDevice::reviewAt() const {
    std::optional<Backlog::Clock::time_point> first;
    for (const std::unique_ptr<TcpClient> &client : m_clients) {
        const auto at = client->backlog().reviewAt();
        if (at && (!first || *at < *first))
            first = at;
    }
    return first;
}

qint64 TcpServerDevice::waitingBytes() const {
    qint64 fullest = 0;
    for (const std::unique_ptr<TcpClient> &client : m_clients)
        fullest = std::max(fullest, client->backlog().size());
    return fullest;
}

void TcpServerDevice::reportDropped(qint64 bytes) {
    if (bytes > 0)
        emit dropped(bytes);
}

// ---- UDP input

UdpInputDevice::UdpInputDevice(const LinkTimings &timings, QObject *parent)
    : PortDevice(timings, parent) {
    connect(&m_socket, &QIODevice::readyRead, this, &PortDevice::readyRead);
}

PortDevice::Opening UdpInputDevice::open(const QString &device, const LineSettings &) {
    m_failure = {};
    const std::optional<NetAddress> address = parseNetAddress(device, PortDirection::Input);
    const QHostAddress at = address ? waitAddress(*address) : QHostAddress();
    if (!address || address->protocol != NetAddress::Protocol::Udp || at.isNull()) {
        m_failure = badAddressOf(device);
        return Opening::No;
    }
    if (isOpen() && device == m_device)
        return Opening::Yes;
    close();
    m_device = device;
    // Shared, so that another program on this machine can listen to the same broadcasts.
    if (!m_socket.bind(at, address->port,
                       QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        m_failure = systemFailure(device, m_socket.errorString());
        return Opening::No;
    }
    const int granted =
        RawSocket::enlargeReceiveBuffer(m_socket.socketDescriptor(), kReceiveBufferBytes);
    qCDebug(lcNet) << device << "receive buffer" << granted << "bytes";
    return Opening::Yes;
}

void UdpInputDevice::close() {
    m_socket.abort();
}

// Reads until the socket itself says nothing waits, never asking first whether a datagram
// waits. The socket announces a datagram once and then keeps its read notices off until it is
// read; only a read turns them on again. Under the GLib event loop a notice can still come after
// another read (the next turn of a long burst) has taken everything: a reader that then only
// asked, and read nothing, would leave the notices off for good while datagrams pile up. Every
// read here, the last one that finds nothing included, turns them on again.
QByteArray UdpInputDevice::read() {
    for (;;) {
        const qint64 size = m_socket.readDatagram(m_datagram.data(), m_datagram.size());
        if (size < 0)
            return QByteArray();
        // An empty datagram is no chunk, and must not end the reading while others wait.
        if (size > 0)
            return m_datagram.first(size);
    }
}

// ---- UDP output

UdpOutputDevice::UdpOutputDevice(const LinkTimings &timings, QObject *parent)
    : PortDevice(timings, parent)
    , m_pause(timings.firstPause)
    , m_waiting(timings.backlog) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &UdpOutputDevice::lookUp);
}

PortDevice::Opening UdpOutputDevice::open(const QString &device, const LineSettings &) {
    m_failure = {};
    const std::optional<NetAddress> address = parseNetAddress(device, PortDirection::Output);
    if (!address || address->protocol != NetAddress::Protocol::Udp) {
        m_failure = badAddressOf(device);
        return Opening::No;
    }
    if (device == m_device && isOpen())
        return Opening::Yes;
    close();
    m_device = device;
    m_host = address->host;
    m_port = address->port;
    m_pause = timings().firstPause;
    const QHostAddress literal(m_host);
    if (literal.isNull()) {
        // A name is looked up without waiting; the port opens when the answer has come.
        lookUp();
        return Opening::Pending;
    }
    if (!bindFor(literal))
        return Opening::No;
    m_target = literal;
    return Opening::Yes;
}

void UdpOutputDevice::close() {
    m_retry.stop();
    m_lookup = -1;
    m_target.clear();
    m_waiting.clear();
    m_device.clear();
    m_socket.abort();
}

void UdpOutputDevice::lookUp() {
    m_lookup = HostLookup::start(m_host, this, [this](const QHostInfo &info) { lookedUp(info); });
}

void UdpOutputDevice::lookedUp(const QHostInfo &info) {
    if (info.lookupId() != m_lookup)
        return;
    m_lookup = -1;
    const QList<QHostAddress> found = info.addresses();
    // IPv4 first: a receiver's network rarely routes IPv6.
    auto chosen = std::find_if(found.begin(), found.end(), [](const QHostAddress &a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    });
    if (chosen == found.end())
        chosen = found.begin();
    bool usable = false;
    if (chosen == found.end()) {
        QString reason = QStringLiteral("der Name %1 ist nicht auflösbar").arg(m_host);
        if (info.error() != QHostInfo::HostNotFound)
            reason += QStringLiteral(" (%1)").arg(info.errorString());
        m_failure = systemFailure(m_device, reason);
    } else {
        usable = bindFor(*chosen);
    }
    if (!usable) {
        m_retry.start(m_pause);
        emit tryFailed(std::exchange(m_pause, nextPause(m_pause, timings())));
        return;
    }
    m_target = *chosen;
    m_pause = timings().firstPause;
    emit opened();
    // What arrived meanwhile goes first, in its order.
    qint64 droppedBytes = 0;
    while (!m_waiting.isEmpty()) {
        const QByteArrayView block = m_waiting.front();
        droppedBytes += sendDatagrams(block);
        m_waiting.took(block.size());
    }
    if (droppedBytes > 0)
        emit dropped(droppedBytes);
}

bool UdpOutputDevice::bindFor(const QHostAddress &target) {
    const bool v6 = target.protocol() == QAbstractSocket::IPv6Protocol;
    if (m_socket.state() == QAbstractSocket::BoundState) {
        if ((m_socket.localAddress().protocol() == QAbstractSocket::IPv6Protocol) == v6)
            return true;
        m_socket.abort();
    }
    if (m_socket.bind(v6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4, 0))
        return true;
    // The address is of a family this machine does not send (no IPv6, for one).
    m_failure = systemFailure(
        m_device, QStringLiteral("%1 ist über %2 nicht erreichbar: %3")
                      .arg(target.toString(), v6 ? QStringLiteral("IPv6") : QStringLiteral("IPv4"),
                           m_socket.errorString()));
    return false;
}

bool UdpOutputDevice::write(const QByteArray &chunk, bool) {
    if (m_device.isEmpty())
        return false;
    if (m_target.isNull()) {
        // Held until the name is known, within the bound of any backlog.
        m_waiting.append(chunk);
        m_waiting.keepWithin(false);
        if (const qint64 droppedBytes = m_waiting.takeDropped())
            emit dropped(droppedBytes);
        return false;
    }
    if (const qint64 droppedBytes = sendDatagrams(chunk))
        emit dropped(droppedBytes);
    return false;
}

qint64 UdpOutputDevice::sendDatagrams(QByteArrayView rest) {
    qint64 droppedBytes = 0;
    while (!rest.isEmpty()) {
        // Whole lines per datagram where they fit, so that a receiver parsing each datagram on
        // its own rarely sees a sentence cut in two.
        qsizetype size = std::min(rest.size(), kDatagramSize);
        if (size < rest.size()) {
            const qsizetype lineEnd = rest.first(size).lastIndexOf('\n');
            if (lineEnd >= 0)
                size = lineEnd + 1;
        }
        if (m_socket.writeDatagram(rest.data(), size, m_target, m_port) < 0)
            droppedBytes += size;
        rest = rest.sliced(size);
    }
    return droppedBytes;
}
