#include "io/portworker.h"

#include <QIODevice>

namespace {

// The device itself is given chunks only while it holds less than this, so that most of the
// backlog stays in whole chunks that can still be dropped. Enough to keep a fast line busy.
constexpr qint64 kHandOverBelow = 64 * 1024;

} // namespace

PortWorker::PortWorker(PortDevice *device)
    : m_device(device) {
    m_device->setParent(this);
    m_windowBatch.setSingleShot(true);
    m_windowBatch.setInterval(kWindowBatchMs);
    connect(&m_windowBatch, &QTimer::timeout, this, &PortWorker::passToWindow);
    connect(&m_device->io(), &QIODevice::readyRead, this, &PortWorker::read);
    connect(&m_device->io(), &QIODevice::bytesWritten, this, &PortWorker::handOver);
    connect(m_device, &PortDevice::lost, this, &PortWorker::deviceLost);
}

PortWorker::OpenResult PortWorker::open(const QString &device, const LineSettings &settings) {
    OpenResult result;
    if (m_device->io().isOpen() && device != m_deviceName) {
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
    const QByteArray chunk = m_device->io().readAll();
    if (chunk.isEmpty())
        return;
    // Passed on before the window sees it: forwarding waits for nothing on the window's thread.
    if (m_target)
        m_target->send(chunk);
    m_forWindow += chunk;
    if (!m_windowBatch.isActive())
        m_windowBatch.start();
}

void PortWorker::passToWindow() {
    if (m_forWindow.isEmpty())
        return;
    emit received(m_forWindow, m_session);
    m_forWindow.clear();
}

void PortWorker::send(const QByteArray &bytes) {
    if (!m_device->io().isOpen() || bytes.isEmpty())
        return;
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
    while (!m_queue.empty() && io.isOpen() && io.bytesToWrite() < kHandOverBelow) {
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

void PortWorker::publish() {
    QIODevice &io = m_device->io();
    m_open.store(io.isOpen(), std::memory_order_release);
    m_backlog.store(io.isOpen() ? io.bytesToWrite() + m_queuedBytes : 0, std::memory_order_relaxed);
}
