#pragma once

#include "io/portdevice.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <deque>

// The part of a CommX that lives on the I/O thread. It owns the device, passes every received
// chunk at once to the port it forwards to and then to the window's thread, and writes with a
// bounded backlog. Its functions run on the I/O thread only, except the atomic getters.
class PortWorker : public QObject {
    Q_OBJECT
public:
    struct OpenResult {
        PortDevice::Opened opened = PortDevice::Opened::No;
        bool closedFirst = false; // another device was open and was closed
        PortFailure failure;
        quint64 session = 0;
    };

    // Takes the device over as its child.
    explicit PortWorker(PortDevice *device);

    // Opens the device the name means, exchanging the device first when it is of another kind
    // (a serial line, or a network address, which means a device that listens or sends on the
    // output).
    OpenResult open(const QString &device, const LineSettings &settings);
    void setOutput(bool output) { m_output = output; }
    // The session from now on; chunks of earlier ones are stale.
    quint64 close();
    void send(const QByteArray &bytes);
    void forwardTo(PortWorker *target) { m_target = target; }

    bool isOpen() const { return m_open.load(std::memory_order_acquire); }
    qint64 bytesToWrite() const { return m_backlog.load(std::memory_order_relaxed); }
    quint16 localPort() const { return m_localPort.load(std::memory_order_relaxed); }

    static constexpr qint64 kBacklogLimit = 1 << 20;
    // Received chunks reach the window's thread together, at most this long after the first:
    // the window decodes on its poll ticks and shows text in batches anyway, and a wake-up per
    // small chunk costs more than the chunk.
    static constexpr int kWindowBatchMs = 25;

signals:
    // A chunk as read, tagged with the session it was read in: a session ends whenever the
    // device closes, so the window's side can tell chunks read before its Close.
    void received(const QByteArray &chunk, quint64 session);
    void dropped(qint64 bytes);
    void lost(quint64 session, const QString &reason);
    // A network input is connected again in this session, after lost.
    void returned(quint64 session);
    void clients(int count);
    void refused(const QString &peer);

private:
    void read();
    void passToWindow();
    void closeDevice();
    void handOver();
    void deviceLost();
    void deviceInterrupted();
    void setDevice(PortDevice *device);
    void publish();

    PortDevice *m_device = nullptr;
    int m_kind = 0; // which kind of device m_device is
    bool m_output = false;
    QString m_deviceName;          // as the last open named it
    QPointer<PortWorker> m_target; // gone when that port is destroyed first
    quint64 m_session = 0;
    QByteArray m_forWindow;     // read, forwarded, not yet passed to the window's thread
    QTimer m_windowBatch{this}; // a child, so that it moves to the I/O thread with this
    // Chunks as send got them, not yet handed to the device: only these can still be dropped.
    std::deque<QByteArray> m_queue;
    qint64 m_queuedBytes = 0;
    // What the window's thread may read at any time.
    std::atomic<bool> m_open = false;
    std::atomic<qint64> m_backlog = 0;
    std::atomic<quint16> m_localPort = 0;
};
