#include "io/portcontrol.h"

#include "io/iothread.h"
#include "io/portworker.h"
#include "io/serialdevice.h"
#include "logic/netaddress.h"
#include "logic/portname.h"
#include "logic/trace.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QThread>

Q_LOGGING_CATEGORY(lcPorts, "pelora.ports", QtInfoMsg)

PortControl::PortControl(const QString &name, IoThread &ioThread, QObject *parent)
    : QObject(parent)
    , m_worker(new PortWorker) {
    setObjectName(name);
    m_worker->setObjectName(name);
    m_returnWatch.setInterval(LinkTimings().returnLook);
    connect(&m_returnWatch, &QTimer::timeout, this, &PortControl::tryToReturn);
    m_worker->moveToThread(ioThread.thread());
    // Queued to this thread, in the order the I/O thread raised them; the trace is written
    // here, so that it stays in step with everything else the session's thread does.
    connect(
        m_worker, &PortWorker::received, this, [this](const QByteArray &chunk, quint64 session) {
            if (session == m_generation)
                emit dataReceived(QString::fromLatin1(chunk));
            // Only now may the next batch come: a session that falls behind keeps no queue
            // of batches growing without bound.
            if (m_worker->releaseBatch())
                QMetaObject::invokeMethod(m_worker, &PortWorker::readerTook, Qt::QueuedConnection);
        });
    connect(m_worker, &PortWorker::skipped, this, [this](qint64 bytes, quint64 session) {
        if (session != m_generation)
            return;
        qCDebug(lcPorts) << objectName() << "the session was too far behind for" << bytes
                         << "bytes";
        emit skipped(bytes);
    });
    connect(m_worker, &PortWorker::dropped, this, [this](qint64 bytes) {
        m_droppedBytes += bytes;
        qCDebug(lcPorts) << objectName() << "dropped" << bytes << "bytes the device did not take";
        trace({QStringLiteral("dropped"), objectName(), bytes});
        emit dropped(bytes);
    });
    connect(m_worker, &PortWorker::lost, this, [this](quint64 session, const QString &reason) {
        // A loss that close() or open() has overtaken is over already.
        if (session != m_generation)
            return;
        ++m_generation;
        m_failure = {.cause = PortFailure::Cause::Other, .device = m_device, .systemText = reason};
        qCDebug(lcPorts) << objectName() << "lost" << m_device << reason;
        traceClosed();
        trace({QStringLiteral("port"), objectName(), QStringLiteral("lost"), m_device});
        setLifecycle(Lifecycle::Returning);
        emit lost();
    });
    connect(m_worker, &PortWorker::opened, this, [this](quint64 session, const QString &source) {
        // A close() or open() since has moved past it.
        if (session != m_generation)
            return;
        m_failure = {};
        m_source = source;
        trace({QStringLiteral("port"), objectName(), QStringLiteral("open"), m_device});
        const Lifecycle was = m_lifecycle;
        setLifecycle(Lifecycle::Open);
        if (was != Lifecycle::Returning) {
            emit opened();
            return;
        }
        trace({QStringLiteral("port"), objectName(), QStringLiteral("returned"), m_device});
        emit returned();
    });
    connect(m_worker, &PortWorker::tryFailed, this,
            [this](quint64 session, const QString &reason, qint64 nextTryInMs) {
                if (session != m_generation)
                    return;
                m_failure = {
                    .cause = PortFailure::Cause::Other, .device = m_device, .systemText = reason};
                trace({QStringLiteral("port"), objectName(), QStringLiteral("waiting"), m_device,
                       reason});
                emit tryFailed(reason, nextTryInMs);
            });
    connect(m_worker, &PortWorker::clients, this, [this](int count) {
        if (isOpen())
            emit clientsChanged(count);
    });
    connect(m_worker, &PortWorker::refused, this, [this](const QString &peer) {
        trace({QStringLiteral("refused"), objectName(), peer});
    });
}

PortControl::~PortControl() {
    onIoThread([this] { delete m_worker; });
}

// Runs call on the I/O thread and returns when it is done. That thread never blocks: all it does
// is non-blocking device calls, so the wait is bounded by the work already queued there, a few
// system calls per chunk.
template <typename Call> void PortControl::onIoThread(Call call) {
    Q_ASSERT(QThread::currentThread() != m_worker->thread());
    QMetaObject::invokeMethod(m_worker, std::move(call), Qt::BlockingQueuedConnection);
}

// The one place the lifecycle changes, and with it the look for a lost device: a network port
// connects again by itself, only a device file is watched for.
void PortControl::setLifecycle(Lifecycle next) {
    m_lifecycle = next;
    if (next == Lifecycle::Returning && !isNetworkPortText(m_device))
        m_returnWatch.start();
    else
        m_returnWatch.stop();
}

// A lost device is no longer waited for once the port is being set up anew.
void PortControl::endReturnWait() {
    if (m_returnWatch.isActive())
        setLifecycle(Lifecycle::Closed);
}

void PortControl::setPortName(const QString &name) {
    endReturnWait();
    m_portName = name;
    m_namedDevice = deviceOfPortName(name);
}
void PortControl::setBaudRate(qint32 bitsPerSecond) {
    endReturnWait();
    m_settings.baudRate = bitsPerSecond;
}
void PortControl::setDataBits(qint32 bits) {
    endReturnWait();
    m_settings.dataBits = bits;
}
void PortControl::setParity(qint32 parity) {
    endReturnWait();
    m_settings.parity = parity;
}
void PortControl::setStopBits(qint32 bits) {
    endReturnWait();
    m_settings.stopBits = bits;
}

bool PortControl::open() {
    // Activating by hand ends the wait for a lost device, whatever comes of it.
    endReturnWait();
    if (listTextOf(m_portName).value_or(m_portName).trimmed().isEmpty()) {
        // Opening would try the folder /dev itself. Whatever is open stays as it is, and so
        // does the device a lost port waits for.
        m_failure = {.cause = PortFailure::Cause::EmptyName};
        trace({QStringLiteral("port"), objectName(), QStringLiteral("failed"), QString()});
        return false;
    }
    m_device = m_namedDevice;
    PortWorker::OpenResult result;
    onIoThread([&] { result = m_worker->open(m_device, m_settings); });
    m_generation = result.session;
    m_failure = result.failure;
    if (result.closedFirst)
        traceClosed();
    const bool activated =
        result.opened == PortDevice::Opening::Yes || result.opened == PortDevice::Opening::Pending;
    if (result.opened == PortDevice::Opening::Yes)
        setLifecycle(Lifecycle::Open);
    else
        setLifecycle(activated ? Lifecycle::Connecting : Lifecycle::Closed);
    if (activated)
        m_openedWith = m_settings;
    if (result.opened == PortDevice::Opening::Refused) {
        qCDebug(lcPorts) << objectName() << device() << "refuses" << int(m_failure.setting)
                         << m_failure.value << m_failure.systemText;
        traceClosed();
    } else if (!activated) {
        qCDebug(lcPorts) << objectName() << "cannot open" << device() << m_failure.systemText;
    }
    QString event = QStringLiteral("failed");
    if (result.opened == PortDevice::Opening::Yes)
        event = QStringLiteral("open");
    else if (result.opened == PortDevice::Opening::Pending)
        event = QStringLiteral("pending");
    trace({QStringLiteral("port"), objectName(), event, m_device});
    return activated;
}

void PortControl::close() {
    setLifecycle(Lifecycle::Closed);
    quint64 generation = 0;
    onIoThread([&] { generation = m_worker->close(); });
    m_generation = generation;
    traceClosed();
}

// One look for the lost device. A device that is there but does not open yet (still being set
// up, or taken by another program) is tried again at the next look, without a word: the user
// has been told of the loss already.
void PortControl::tryToReturn() {
    if (!QFileInfo::exists(m_device))
        return;
    PortWorker::OpenResult result;
    onIoThread([&] { result = m_worker->open(m_device, m_openedWith); });
    m_generation = result.session;
    if (result.opened != PortDevice::Opening::Yes) {
        qCDebug(lcPorts) << objectName() << m_device << "is back but does not open yet"
                         << result.failure.systemText;
        return;
    }
    setLifecycle(Lifecycle::Open);
    m_failure = result.failure;
    qCDebug(lcPorts) << objectName() << "returned" << m_device;
    trace({QStringLiteral("port"), objectName(), QStringLiteral("open"), m_device});
    trace({QStringLiteral("port"), objectName(), QStringLiteral("returned"), m_device});
    emit returned();
}

bool PortControl::isOpen() const {
    return m_worker->isOpen();
}

qint64 PortControl::bytesToWrite() const {
    return m_worker->bytesToWrite();
}

void PortControl::traceClosed() {
    trace({QStringLiteral("port"), objectName(), QStringLiteral("closed"), QString()});
}

void PortControl::send(const QString &text) {
    if (text.isEmpty())
        return;
    // Returns at once; the I/O thread writes the bytes whenever the device takes them. A closed
    // device drops them there; one still reaching its peer holds them.
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, bytes = text.toLatin1()] { worker->send(bytes); },
        Qt::QueuedConnection);
}

void PortControl::forwardTo(PortControl &target) {
    // Forwarding calls the target directly, so both must be served by the same thread.
    Q_ASSERT(target.m_worker->thread() == m_worker->thread());
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, to = target.m_worker] { worker->forwardTo(to); },
        Qt::QueuedConnection);
}

void PortControl::setOutput(bool output) {
    onIoThread([this, output] { m_worker->setOutput(output); });
}

void PortControl::setTimings(const LinkTimings &timings) {
    m_returnWatch.setInterval(timings.returnLook);
    onIoThread([this, timings] { m_worker->setTimings(timings); });
}

quint16 PortControl::localPort() const {
    return m_worker->localPort();
}
