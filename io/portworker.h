#pragma once

#include "io/portdevice.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>

// The part of a PortControl that lives on the I/O thread. It owns the device, passes every received
// chunk at once to the port it forwards to and then, in batches, to the session's thread, and
// writes through the device's bounded backlogs. Its functions run on the I/O thread only, except
// the atomic getters.
class PortWorker : public QObject {
    Q_OBJECT
public:
    struct OpenResult {
        PortDevice::Opening opened = PortDevice::Opening::No;
        bool closedFirst = false; // another device was open and was closed
        PortFailure failure;
        quint64 session = 0;
    };

    PortWorker();

    static constexpr qint64 kNoTryPlanned = -1;

    // Opens the device the name means, exchanging the device first when it is of another kind
    // (a serial line, or a network address, which means a device that listens or sends on the
    // output).
    OpenResult open(const QString &device, const LineSettings &settings);
    void setOutput(bool output) { m_output = output; }
    // Batches from now on; for devices, those made from now on.
    void setTimings(const LinkTimings &timings);
    // The session from now on; chunks of earlier ones are stale.
    quint64 close();
    void send(const QByteArray &bytes);
    void forwardTo(PortWorker *target);
    // Called on the session's thread once it has handled a batch: true when more waits, and this
    // worker must then be woken with readerTook(). Most of the time nothing does, and no wake-up
    // is needed.
    bool releaseBatch();
    void readerTook();

    bool isOpen() const { return m_open.load(std::memory_order_acquire); }
    qint64 bytesToWrite() const { return m_waitingBytes.load(std::memory_order_relaxed); }
    quint16 localPort() const { return m_localPort.load(std::memory_order_relaxed); }
    // What may wait for the session's thread while it handles the batch before: a session that
    // falls further behind than this misses what comes until it has caught up.
    static constexpr qsizetype kReaderBacklog = 4 * 1024 * 1024;
    // A batch this large goes without waiting for the batch time: a flood is handed over in
    // pieces the session's thread works through without a long stall, and never piles up to
    // kReaderBacklog.
    static constexpr qsizetype kBatchBytes = 256 * 1024;

signals:
    // A batch of chunks as read, tagged with the session it was read in: a session ends whenever
    // the device closes, so the session's side can tell chunks read before its close(). The
    // session's side answers each with releaseBatch().
    void received(const QByteArray &chunk, quint64 session);
    // This many received bytes, following the last batch, were not passed to the session's
    // thread because it had fallen behind; they were forwarded all the same.
    void skipped(qint64 bytes, quint64 session);
    void dropped(qint64 bytes);
    // A pending open has completed, or a network port is back after lost; source is what a
    // peer in between reads (gpsd's device).
    void opened(quint64 session, const QString &source);
    void lost(quint64 session, const QString &reason);
    // A try to reach a network peer failed; the next comes after the pause, or, with
    // kNoTryPlanned, when the peer has something to give.
    void tryFailed(quint64 session, const QString &reason, qint64 nextTryInMs);
    void clients(int count);
    void refused(const QString &peer);
    // The output's backlog that kept its source waiting has come down, or given up waiting.
    void caughtUp();

private:
    void setDevice(PortDevice *device);
    void read();
    bool forward(const QByteArray &chunk, bool sourceCanWait);
    void reviewHold();
    void targetCaughtUp();
    void keep(const QByteArray &chunk);
    void offerToReader();
    bool readerIsFree();
    void passToReader(bool evenIfBusy = false);
    void closeDevice();
    void deviceGone(bool closes);
    void publish();

    PortDevice *m_device = nullptr;
    LinkTimings m_timings;
    bool m_output = false;
    QString m_deviceName;          // as the last open named it
    QPointer<PortWorker> m_target; // gone when that port is destroyed first
    quint64 m_session = 0;
    bool m_waitingForTarget = false; // not reading, until the target has caught up
    bool m_holdingSource = false;    // as a target: a source waits for this port
    QTimer m_review{this};           // when a held source must be looked at again
    QByteArray m_forReader;          // read, forwarded, not yet passed to the session's thread
    qint64 m_skipped = 0;            // read, forwarded, not passed: the session was too far behind
    QTimer m_batchTimer{this};       // children, so that they move to the I/O thread with this
    Backlog::Clock::time_point m_lastPass{};
    // Whether a batch is with the session's thread, and whether more waits for it then. Written
    // by both threads.
    enum BatchState : int { NoBatchOut, BatchOut, BatchOutMoreWaits };
    std::atomic<int> m_batchState = NoBatchOut;
    // What the session's thread may read at any time.
    std::atomic<bool> m_open = false;
    std::atomic<qint64> m_waitingBytes = 0;
    std::atomic<quint16> m_localPort = 0;
};
