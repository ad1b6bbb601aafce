#include "io/portworker.h"

#include "io/gpsddevice.h"
#include "io/netdevices.h"
#include "io/serialdevice.h"
#include "logic/netaddress.h"

#include <QMetaObject>

namespace {

// A kind of device: how to make one, and how to tell one.
struct DeviceKind {
    PortDevice *(*make)(const LinkTimings &timings);
    bool (*is)(const PortDevice *device);
};

template <typename Device> DeviceKind kind() {
    return {
        [](const LinkTimings &timings) -> PortDevice * { return new Device(timings); },
        [](const PortDevice *device) { return qobject_cast<const Device *>(device) != nullptr; }};
}

// The kind of device a name means: a serial line, or a network address, which on the output
// means a device that listens or sends. gpsd is read only; on the output it is an address the
// TCP output refuses.
DeviceKind kindOf(const QString &device, bool output) {
    const std::optional<NetAddress::Protocol> protocol = networkProtocolOf(device);
    if (!protocol)
        return kind<SerialDevice>();
    switch (*protocol) {
    case NetAddress::Protocol::Tcp:
        break;
    case NetAddress::Protocol::Udp:
        return output ? kind<UdpOutputDevice>() : kind<UdpInputDevice>();
    case NetAddress::Protocol::Gpsd:
        return output ? kind<TcpServerDevice>() : kind<GpsdDevice>();
    }
    return output ? kind<TcpServerDevice>() : kind<TcpClientDevice>();
}

// A device that reads flat out hands the thread back after this many reads, so that forwarding
// to other ports and passing to the session get their turn.
constexpr int kReadsPerTurn = 64;

} // namespace

PortWorker::PortWorker() {
    m_batchTimer.setSingleShot(true);
    m_batchTimer.setInterval(m_timings.batch);
    connect(&m_batchTimer, &QTimer::timeout, this, [this] { passToReader(); });
    m_review.setSingleShot(true);
    connect(&m_review, &QTimer::timeout, this, &PortWorker::reviewHold);
    setDevice(kind<SerialDevice>().make(m_timings));
}

void PortWorker::setDevice(PortDevice *device) {
    delete m_device;
    m_device = device;
    m_device->setParent(this);
    connect(m_device, &PortDevice::readyRead, this, &PortWorker::read);
    connect(m_device, &PortDevice::opened, this, [this] {
        publish();
        emit opened(m_session, m_device->source());
    });
    connect(m_device, &PortDevice::lost, this, [this] { deviceGone(true); });
    connect(m_device, &PortDevice::interrupted, this, [this] { deviceGone(false); });
    connect(m_device, &PortDevice::tryFailed, this, [this](std::chrono::milliseconds pause) {
        emit tryFailed(m_session, m_device->failure().systemText, pause.count());
    });
    connect(m_device, &PortDevice::waiting, this,
            [this] { emit tryFailed(m_session, m_device->failure().systemText, kNoTryPlanned); });
    connect(m_device, &PortDevice::dropped, this, &PortWorker::dropped);
    connect(m_device, &PortDevice::progressed, this, [this] {
        publish();
        if (m_holdingSource)
            reviewHold();
    });
    connect(m_device, &PortDevice::clients, this, &PortWorker::clients);
    connect(m_device, &PortDevice::refused, this, &PortWorker::refused);
}

void PortWorker::setTimings(const LinkTimings &timings) {
    m_timings = timings;
    m_batchTimer.setInterval(m_timings.batch);
}

PortWorker::OpenResult PortWorker::open(const QString &device, const LineSettings &settings) {
    OpenResult result;
    const DeviceKind wanted = kindOf(device, m_output);
    if (!wanted.is(m_device)) {
        if (m_device->isOpen()) {
            closeDevice();
            result.closedFirst = true;
        }
        setDevice(wanted.make(m_timings));
    }
    if (m_device->isOpen() && device != m_deviceName) {
        closeDevice();
        result.closedFirst = true;
    }
    m_deviceName = device;
    result.opened = m_device->open(device, settings);
    if (result.opened == PortDevice::Opening::No || result.opened == PortDevice::Opening::Refused) {
        result.failure = m_device->failure();
        closeDevice();
    }
    publish();
    result.session = m_session;
    return result;
}

quint64 PortWorker::close() {
    closeDevice();
    return m_session;
}

void PortWorker::closeDevice() {
    // What was read before a close belongs to the session it ends; the session drops it anyway.
    m_forReader.clear();
    m_skipped = 0;
    m_batchTimer.stop();
    m_waitingForTarget = false;
    m_device->close();
    ++m_session;
    // A source waiting for this port need not wait for a port that is gone.
    if (std::exchange(m_holdingSource, false)) {
        m_review.stop();
        emit caughtUp();
    }
    publish();
}

void PortWorker::forwardTo(PortWorker *target) {
    if (m_target)
        disconnect(m_target, &PortWorker::caughtUp, this, &PortWorker::targetCaughtUp);
    m_target = target;
    if (m_target)
        connect(m_target, &PortWorker::caughtUp, this, &PortWorker::targetCaughtUp);
}

void PortWorker::read() {
    // Waiting for the output: the device's buffer fills, and then the sender waits.
    if (m_waitingForTarget)
        return;
    for (int reads = 0; reads < kReadsPerTurn; ++reads) {
        const QByteArray chunk = m_device->read();
        if (chunk.isEmpty())
            break;
        // Passed on before the session sees it: forwarding waits for nothing on the session's
        // thread.
        if (m_target && m_target->forward(chunk, m_device->canWait()))
            m_waitingForTarget = true;
        keep(chunk);
        if (m_waitingForTarget)
            return;
        if (reads + 1 == kReadsPerTurn)
            QMetaObject::invokeMethod(this, &PortWorker::read, Qt::QueuedConnection);
    }
}

bool PortWorker::forward(const QByteArray &chunk, bool sourceCanWait) {
    const bool wait = m_device->write(chunk, sourceCanWait);
    publish();
    if (wait && !m_holdingSource) {
        m_holdingSource = true;
        reviewHold();
        return m_holdingSource;
    }
    return wait;
}

void PortWorker::send(const QByteArray &bytes) {
    if (bytes.isEmpty())
        return;
    // From the session's thread there is nobody to make wait.
    m_device->write(bytes, false);
    publish();
}

// While a source waits for this port: it goes on as soon as no consumer holds it any longer, be
// it because they caught up or because one stopped and lost its oldest bytes.
void PortWorker::reviewHold() {
    if (m_device->holdsSource()) {
        if (const auto at = m_device->reviewAt()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*at - Backlog::Clock::now());
            m_review.start(std::max(left, std::chrono::milliseconds(0)));
        }
        return;
    }
    m_review.stop();
    m_holdingSource = false;
    publish();
    emit caughtUp();
}

void PortWorker::targetCaughtUp() {
    if (!std::exchange(m_waitingForTarget, false))
        return;
    // What waits in the device was announced before; nothing announces it again.
    read();
}

void PortWorker::keep(const QByteArray &chunk) {
    if (m_skipped > 0 || m_forReader.size() + chunk.size() > kReaderBacklog)
        m_skipped += chunk.size();
    else
        m_forReader += chunk;
    offerToReader();
}

// What waits goes at once when the session's thread is free and the last batch went a batch time
// ago (or a large batch waits), or else with a later read. The timer sends it when no read comes
// for a batch time: every read starts it again, so under a steady stream a read always comes first
// and the timer wakes nobody.
void PortWorker::offerToReader() {
    if ((m_forReader.isEmpty() && m_skipped == 0) || !readerIsFree())
        return;
    const std::chrono::milliseconds batch = m_timings.batch;
    if (Backlog::Clock::now() - m_lastPass >= batch || m_forReader.size() >= kBatchBytes)
        passToReader();
    else
        m_batchTimer.start();
}

// Whether the session's thread has handled the last batch; if not, it is told that more waits,
// and wakes this thread when it is done.
bool PortWorker::readerIsFree() {
    int state = m_batchState.load(std::memory_order_acquire);
    while (state == BatchOut) {
        if (m_batchState.compare_exchange_weak(state, BatchOutMoreWaits, std::memory_order_acq_rel))
            return false;
    }
    return state == NoBatchOut;
}

void PortWorker::passToReader(bool evenIfBusy) {
    m_batchTimer.stop();
    if (!evenIfBusy && !readerIsFree())
        return;
    m_lastPass = Backlog::Clock::now();
    if (!m_forReader.isEmpty()) {
        m_batchState.store(BatchOut, std::memory_order_release);
        emit received(std::exchange(m_forReader, QByteArray()), m_session);
    }
    if (m_skipped > 0)
        emit skipped(std::exchange(m_skipped, 0), m_session);
}

bool PortWorker::releaseBatch() {
    return m_batchState.exchange(NoBatchOut, std::memory_order_acq_rel) == BatchOutMoreWaits;
}

void PortWorker::readerTook() {
    offerToReader();
}

void PortWorker::deviceGone(bool closes) {
    // What arrived before the loss is the session's, ahead of the loss itself.
    passToReader(true);
    const quint64 session = m_session;
    const QString reason = m_device->failure().systemText;
    if (closes) {
        closeDevice();
    } else {
        // A network input stays active and connects again by itself, in a session of its own.
        ++m_session;
        m_waitingForTarget = false;
        publish();
    }
    emit lost(session, reason);
}

void PortWorker::publish() {
    const bool open = m_device->isOpen();
    m_open.store(open, std::memory_order_release);
    m_waitingBytes.store(m_device->waitingBytes(), std::memory_order_relaxed);
    m_localPort.store(open ? m_device->localPort() : 0, std::memory_order_relaxed);
}
