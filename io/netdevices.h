#pragma once

#include "io/portdevice.h"
#include "logic/netaddress.h"

#include <QBuffer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <chrono>
#include <deque>
#include <memory>
#include <vector>

// The input reading a receiver that another machine shares over TCP: connects as a client and
// connects again, with a growing pause, whenever the peer is gone while the port is active.
class TcpClientDevice : public PortDevice {
    Q_OBJECT
public:
    explicit TcpClientDevice(QObject *parent = nullptr);
    ~TcpClientDevice() override;

    Opened open(const QString &device, const LineSettings &settings) override;
    void close() override;
    QIODevice &io() override { return m_socket; }
    PortFailure failure() const override { return m_failure; }
    // Connecting counts as open; the pause before the next attempt does not.
    bool isOpen() override { return m_socket.state() != QAbstractSocket::UnconnectedState; }

    static constexpr std::chrono::milliseconds kFirstPause{500};
    static constexpr std::chrono::milliseconds kLongestPause{10000};

private:
    void connectNow();
    void stateChanged(QAbstractSocket::SocketState state);

    QTcpSocket m_socket{this};
    QTimer m_retry{this};
    QString m_device;
    NetAddress m_address;
    PortFailure m_failure;
    std::chrono::milliseconds m_pause = kFirstPause;
    bool m_active = false;
    bool m_interrupted = false; // since the peer was last there
};

// The output shared over TCP: every client that connects gets the forwarded bytes from then on,
// each through a bounded backlog of its own, so that a slow client holds up nobody else.
class TcpServerDevice : public PortDevice {
    Q_OBJECT
public:
    explicit TcpServerDevice(QObject *parent = nullptr);
    ~TcpServerDevice() override;

    Opened open(const QString &device, const LineSettings &settings) override;
    void close() override;
    // Nothing is read or written through it; the clients are.
    QIODevice &io() override { return m_none; }
    PortFailure failure() const override { return m_failure; }
    bool isOpen() override { return m_server.isListening(); }
    bool takesChunks() const override { return true; }
    void write(const QByteArray &chunk) override;
    qint64 backlog() const override;
    quint16 localPort() const override { return m_server.serverPort(); }

    static constexpr int kMaxClients = 32;

private:
    struct Client {
        QTcpSocket *socket = nullptr;
        std::deque<QByteArray> queue; // not yet handed to the socket
        qint64 queued = 0;
    };

    void accept();
    void handOver(Client &client);
    void remove(QTcpSocket *socket);

    QTcpServer m_server{this};
    QBuffer m_none{this};
    std::vector<std::unique_ptr<Client>> m_clients;
    QString m_device;
    PortFailure m_failure;
};

// The input receiving datagrams on a port of its own; each datagram is a chunk.
class UdpInputDevice : public PortDevice {
    Q_OBJECT
public:
    explicit UdpInputDevice(QObject *parent = nullptr);

    Opened open(const QString &device, const LineSettings &settings) override;
    void close() override;
    QIODevice &io() override { return m_socket; }
    PortFailure failure() const override { return m_failure; }
    bool isOpen() override { return m_socket.state() == QAbstractSocket::BoundState; }
    QByteArray readAvailable() override;
    quint16 localPort() const override { return m_socket.localPort(); }

private:
    QUdpSocket m_socket{this};
    QString m_device;
    PortFailure m_failure;
};

// The output sending each chunk as datagrams to one address, which may be a broadcast address.
class UdpOutputDevice : public PortDevice {
    Q_OBJECT
public:
    explicit UdpOutputDevice(QObject *parent = nullptr);

    Opened open(const QString &device, const LineSettings &settings) override;
    void close() override;
    QIODevice &io() override { return m_socket; }
    PortFailure failure() const override { return m_failure; }
    bool isOpen() override { return m_socket.state() == QAbstractSocket::BoundState; }
    bool takesChunks() const override { return true; }
    void write(const QByteArray &chunk) override;

    // What fits one Ethernet frame: 1500 bytes less the IP and UDP headers.
    static constexpr qsizetype kDatagramSize = 1472;

private:
    QUdpSocket m_socket{this};
    QString m_device;
    QHostAddress m_target; // null until a host name is looked up
    quint16 m_port = 0;
    int m_lookup = -1;
    PortFailure m_failure;
};
