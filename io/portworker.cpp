#include "io/portworker.h"

#include "io/netdevices.h"
#include "io/serialdevice.h"
#include "logic/netaddress.h"

#include <QIODevice>

namespace {

enum Kind { Serial, TcpClient, TcpServer, UdpInput, UdpOutput };

Kind kindOf(const QString &device, bool output) {
    if (!isNetworkPortText(device))
        return Serial;
    if (device.startsWith(u"tcp", Qt::CaseInsensitive))
        return output ? TcpServer : TcpClient;
    return output ? UdpOutput : UdpInput;
}

PortDevice *create(Kind kind) {
    switch (kind) {
    case Serial:
        break;
    case TcpClient:
        return new TcpClientDevice;
    case TcpServer:
        return new TcpServerDevice;
    case UdpInput:
        return new UdpInputDevice;
    case UdpOutput:
        return new UdpOutputDevice;
    }
    return new SerialDevice;
}

// The device itself is given chunks only while it holds less than this, so that most of the
// backlog stays in whole chunks that can still be dropped. Enough to keep a fast line busy.
constexpr qint64 kHandOverBelow = 64 * 1024;

} // namespace

PortWorker::PortWorker(PortDevice *device) {
    setDevice(device);
}

void PortWorker::setDevice(PortDevice *device) {
    delete m_device;
    m_device = device;
    m_device->setParent(this);
    m_windowBatch.setSingleShot(true);
    m_windowBatch.setInterval(kWindowBatchMs);
    connect(&m_windowBatch, &QTimer::timeout, this, &PortWorker::passToWindow);
    connect(&m_device->io(), &QIODevice::readyRead, this, &PortWorker::read);
    connect(&m_device->io(), &QIODevice::bytesWritten, this, &PortWorker::handOver);
    connect(m_device, &PortDevice::lost, this, &PortWorker::deviceLost);
    connect(m_device, &PortDevice::interrupted, this, &PortWorker::deviceInterrupted);
    connect(m_device, &PortDevice::returned, this, [this] {
        publish();
        emit returned(m_session);
    });
    connect(m_device, &PortDevice::dropped, this, &PortWorker::dropped);
    connect(m_device, &PortDevice::backlogChanged, this, &PortWorker::publish);
    connect(m_device, &PortDevice::clients, this, &PortWorker::clients);
    connect(m_device, &PortDevice::refused, this, &PortWorker::refused);
}

PortWorker::OpenResult PortWorker::open(const QString &device, const LineSettings &settings) {
    OpenResult result;
    const Kind kind = kindOf(device, m_output);
    if (kind != m_kind) {
        if (m_device->isOpen()) {
            closeDevice();
            result.closedFirst = true;
        }
        setDevice(create(kind));
        m_kind = kind;
    }
    if (m_device->isOpen() && device != m_deviceName) {
        closeDevice();
        result.closedFirst = true;
    }
    m_deviceName = device;
    result.opened = m_device->open(device, settings);
    if (result.opened != PortDevice::Opened::Yes) {
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
    // What was read before a close belongs to the session it ends; the window drops it anyway.
    m_forWindow.clear();
    m_windowBatch.stop();
    m_device->close();
    m_queue.clear();
    m_queuedBytes = 0;
    ++m_session;
    publish();
}

void PortWorker::read() {
    // A serial line gives all it has at once, a datagram socket one datagram per call.
    for (;;) {
        const QByteArray chunk = m_device->readAvailable();
        if (chunk.isEmpty())
            break;
        // Passed on before the window sees it: forwarding waits for nothing on the window's
        // thread.
        if (m_target)
            m_target->send(chunk);
        m_forWindow += chunk;
    }
    if (!m_forWindow.isEmpty() && !m_windowBatch.isActive())
        m_windowBatch.start();
}

void PortWorker::passToWindow() {
    if (m_forWindow.isEmpty())
        return;
    emit received(m_forWindow, m_session);
    m_forWindow.clear();
}

void PortWorker::send(const QByteArray &bytes) {
    if (!m_device->isOpen() || bytes.isEmpty())
        return;
    if (m_device->takesChunks()) {
        m_device->write(bytes);
        publish();
        return;
    }
    m_queue.push_back(bytes);
    m_queuedBytes += bytes.size();
    // Dropping before handing over keeps the bound even for a chunk larger than it.
    qint64 droppedBytes = 0;
    while (!m_queue.empty() && m_device->io().bytesToWrite() + m_queuedBytes > kBacklogLimit) {
        droppedBytes += m_queue.front().size();
        m_queuedBytes -= m_queue.front().size();
        m_queue.pop_front();
    }
    handOver();
    if (droppedBytes > 0)
        emit dropped(droppedBytes);
}

void PortWorker::handOver() {
    QIODevice &io = m_device->io();
    while (!m_queue.empty() && m_device->isOpen() && io.bytesToWrite() < kHandOverBelow) {
        io.write(m_queue.front());
        m_queuedBytes -= m_queue.front().size();
        m_queue.pop_front();
    }
    publish();
}

void PortWorker::deviceLost() {
    // What arrived before the loss is the window's, ahead of the loss itself.
    passToWindow();
    const quint64 session = m_session;
    const QString reason = m_device->failure().systemText;
    closeDevice();
    emit lost(session, reason);
}

void PortWorker::deviceInterrupted() {
    // The device stays active and connects again by itself; what was read until now belongs to
    // a session that is over.
    const quint64 session = m_session++;
    m_queue.clear();
    m_queuedBytes = 0;
    publish();
    emit lost(session, m_device->failure().systemText);
}

void PortWorker::publish() {
    const bool open = m_device->isOpen();
    m_open.store(open, std::memory_order_release);
    const qint64 backlog = m_device->backlog() + m_device->io().bytesToWrite() + m_queuedBytes;
    m_backlog.store(open ? backlog : 0, std::memory_order_relaxed);
    m_localPort.store(open ? m_device->localPort() : 0, std::memory_order_relaxed);
}
