#pragma once

#include "io/backlog.h"
#include "io/portdevice.h"
#include "logic/netaddress.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <chrono>
#include <memory>
#include <vector>

class QHostInfo;

// The input reading a receiver that another machine shares over TCP. It is open only while
// connected. A connect that takes too long, a peer that closes, and a peer that falls silent
// all end the connection; while the port is active it then connects again, after a pause that
// grows with every try that brought no data and starts over once data flows.
class TcpClientDevice : public PortDevice {
    Q_OBJECT
public:
    explicit TcpClientDevice(const LinkTimings &timings, QObject *parent = nullptr);
    ~TcpClientDevice() override;

    Opening open(const QString &device, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_socket.state() == QAbstractSocket::ConnectedState; }
    PortFailure failure() const override { return m_failure; }
    QByteArray read() override;
    bool canWait() const override { return true; }
    // The receiver is only read from.
    bool write(const QByteArray &, bool) override { return false; }

    // For a protocol spoken over the connection (gpsd's): bytes to the peer while connected.
    void sendToPeer(const QByteArray &bytes);
    // Whether a peer that says nothing for the silence time counts as lost; on by default,
    // and for each connection made.
    void watchSilence(bool watch);
    // How long until the next try, when one is planned.
    std::chrono::milliseconds nextTryIn() const;

private:
    void connectNow();
    void connected();
    void ended();
    void giveUp(const QString &reason);

    QTcpSocket m_socket{this};
    QTimer m_retry{this};
    QTimer m_connectTimeout{this};
    QTimer m_silence{this};
    QString m_device;
    NetAddress m_address;
    PortFailure m_failure;
    std::chrono::milliseconds m_pause;
    bool m_active = false;
    bool m_connected = false;
    bool m_dataFlowed = false; // since this connection was made
    bool m_watchSilence = true;
    QString m_endReason; // set when this side ends the connection
};

class TcpClient;

// The output shared over TCP: every client that connects gets the forwarded bytes from then on,
// each through a backlog of its own, so that a slow client holds up nobody else. A client that
// has finished sending is served on; what clients send is read and thrown away, a little at a
// time.
class TcpServerDevice : public PortDevice {
    Q_OBJECT
public:
    explicit TcpServerDevice(const LinkTimings &timings, QObject *parent = nullptr);
    ~TcpServerDevice() override;

    Opening open(const QString &device, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_server.isListening(); }
    PortFailure failure() const override { return m_failure; }
    bool write(const QByteArray &chunk, bool sourceCanWait) override;
    bool holdsSource() override;
    std::optional<Backlog::Clock::time_point> reviewAt() const override;
    qint64 waitingBytes() const override;
    quint16 localPort() const override { return m_server.serverPort(); }

    static constexpr int kMaxClients = 32;
    // The kernel's send buffer for each client: a megabyte there would let a slow client lag
    // far beyond its backlog unseen.
    static constexpr int kSendBufferBytes = 64 * 1024;
    // Connections the kernel holds until they are taken (the system caps it, on Linux at
    // net.core.somaxconn). A storm of short connections outruns the taking; a connect that finds
    // the queue full waits a second for the kernel's retry. It holds no memory while empty.
    static constexpr int kListenQueue = 4096;

private:
    // Takes the connections as plain sockets: Qt's socket class ends a connection as soon as
    // the peer has finished sending, and such a client still reads.
    class Listener : public QTcpServer {
    public:
        explicit Listener(TcpServerDevice *device)
            : QTcpServer(device)
            , m_device(device) {}

    protected:
        void incomingConnection(qintptr socket) override { m_device->accept(socket); }

    private:
        TcpServerDevice *m_device;
    };

    void accept(qintptr socket);
    bool makeRoom();
    void remove(TcpClient *client);
    void reportDropped(qint64 bytes);

    Listener m_server{this};
    std::vector<std::unique_ptr<TcpClient>> m_clients;
    QString m_device;
    PortFailure m_failure;
    bool m_sourceCanWait = false;
};

// The input receiving datagrams on a port of its own; each datagram is a chunk.
class UdpInputDevice : public PortDevice {
    Q_OBJECT
public:
    explicit UdpInputDevice(const LinkTimings &timings, QObject *parent = nullptr);

    Opening open(const QString &device, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_socket.state() == QAbstractSocket::BoundState; }
    PortFailure failure() const override { return m_failure; }
    QByteArray read() override;
    bool write(const QByteArray &, bool) override { return false; }
    quint16 localPort() const override { return m_socket.localPort(); }

    // Room for a stall of the reading thread of half a second at 10,000 datagrams a second,
    // counting what the system spends on each.
    static constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;

private:
    QUdpSocket m_socket{this};
    QByteArray m_datagram{65536, Qt::Uninitialized}; // the largest a datagram can be
    QString m_device;
    PortFailure m_failure;
};

// The output sending each chunk as datagrams to one address, which may be a broadcast address.
// A host name is looked up first: until that has succeeded the port is not open, and what
// arrives waits in a backlog; a name that does not resolve, or only to addresses this machine
// cannot send to, is looked up again after a growing pause.
class UdpOutputDevice : public PortDevice {
    Q_OBJECT
public:
    explicit UdpOutputDevice(const LinkTimings &timings, QObject *parent = nullptr);

    Opening open(const QString &device, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override {
        return m_socket.state() == QAbstractSocket::BoundState && !m_target.isNull();
    }
    PortFailure failure() const override { return m_failure; }
    bool write(const QByteArray &chunk, bool sourceCanWait) override;
    qint64 waitingBytes() const override { return m_waiting.size(); }

    // What fits one Ethernet frame: 1500 bytes less the IP and UDP headers.
    static constexpr qsizetype kDatagramSize = 1472;

private:
    void lookUp();
    void lookedUp(const QHostInfo &info);
    bool bindFor(const QHostAddress &target);
    qint64 sendDatagrams(QByteArrayView bytes);

    QUdpSocket m_socket{this};
    QTimer m_retry{this};
    QString m_device;
    QString m_host;
    QHostAddress m_target; // null until the host is known
    quint16 m_port = 0;
    int m_lookup = -1;
    std::chrono::milliseconds m_pause;
    Backlog m_waiting; // what arrived before the host was known
    PortFailure m_failure;
};
