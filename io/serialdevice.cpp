#include "io/serialdevice.h"

#include <QFileInfo>

#include <array>
#include <optional>

namespace {

// The program at the other end of a pseudo-terminal waits while this end is not read; a real
// line has no such way back to the receiver, which goes on sending.
bool isPseudoTerminal(const QString &device) {
    return QFileInfo(device).canonicalFilePath().startsWith(QStringLiteral("/dev/pts/"));
}

std::optional<QSerialPort::Parity> toParity(qint32 parity) {
    static constexpr std::array kParities{QSerialPort::NoParity, QSerialPort::OddParity,
                                          QSerialPort::EvenParity, QSerialPort::MarkParity,
                                          QSerialPort::SpaceParity};
    if (parity < 0 || parity >= qint32(kParities.size()))
        return std::nullopt;
    return kParities[parity];
}

} // namespace

SerialDevice::SerialDevice(const LinkTimings &timings, QObject *parent)
    : PortDevice(timings, parent)
    , m_backlog(timings.backlog, Backlog::kLimit - kHandOverBelow) {
    // Bounded, so that a reader that stops calling read() stops the reading from the line too.
    m_port.setReadBufferSize(kReadBufferSize);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialDevice::handleError);
    connect(&m_port, &QIODevice::readyRead, this, &PortDevice::readyRead);
    connect(&m_port, &QIODevice::bytesWritten, this, [this] {
        handOver();
        emit progressed();
    });
}

SerialDevice::~SerialDevice() {
    // The port closes as it goes; nothing it reports then may reach a half-destroyed device.
    m_port.disconnect(this);
    close();
}

PortDevice::Opening SerialDevice::open(const QString &device, const LineSettings &settings) {
    m_failure = {};
    m_device = device;
    m_canWait = isPseudoTerminal(device);
    if (!m_port.isOpen()) {
        m_port.setPortName(device);
        if (!m_port.open(QIODevice::ReadWrite)) {
            m_failure = openFailure();
            return Opening::No;
        }
    }
    if (apply(settings))
        return Opening::Yes;
    close();
    return Opening::Refused;
}

bool SerialDevice::refuse(PortFailure::Cause cause, PortSetting setting, qint32 value) {
    m_failure = {
        .cause = cause, .device = m_device, .setting = setting, .value = QString::number(value)};
    // A setter fails with this error when the device turns the value down; any other error
    // (the device went away meanwhile) is no answer about the value.
    if (cause == PortFailure::Cause::SettingRefused &&
        m_port.error() != QSerialPort::UnsupportedOperationError) {
        m_failure.cause = PortFailure::Cause::Other;
        m_failure.systemText = m_port.errorString();
    }
    return false;
}

bool SerialDevice::apply(const LineSettings &s) {
    using Cause = PortFailure::Cause;
    const std::optional<QSerialPort::Parity> parity = toParity(s.parity);
    // QSerialPort takes any value of its enums without complaint; refuse what no line can do.
    if (s.baudRate <= 0)
        return refuse(Cause::OutOfRange, PortSetting::BaudRate, s.baudRate);
    if (s.dataBits < 5 || s.dataBits > 8)
        return refuse(Cause::OutOfRange, PortSetting::DataBits, s.dataBits);
    if (!parity)
        return refuse(Cause::OutOfRange, PortSetting::Parity, s.parity);
    if (s.stopBits != 1 && s.stopBits != 2)
        return refuse(Cause::OutOfRange, PortSetting::StopBits, s.stopBits);
    if (!m_port.setBaudRate(s.baudRate))
        return refuse(Cause::SettingRefused, PortSetting::BaudRate, s.baudRate);
    if (!m_port.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)))
        return refuse(Cause::SettingRefused, PortSetting::DataBits, s.dataBits);
    if (!m_port.setParity(*parity))
        return refuse(Cause::SettingRefused, PortSetting::Parity, s.parity);
    if (!m_port.setStopBits(static_cast<QSerialPort::StopBits>(s.stopBits)))
        return refuse(Cause::SettingRefused, PortSetting::StopBits, s.stopBits);
    if (!m_port.setFlowControl(QSerialPort::NoFlowControl)) {
        m_failure = {.cause = Cause::Other, .device = m_device, .systemText = m_port.errorString()};
        return false;
    }
    return true;
}

PortFailure SerialDevice::openFailure() const {
    using Cause = PortFailure::Cause;
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return {.cause = Cause::NotFound, .device = m_device};
    case QSerialPort::PermissionError: {
        // QSerialPort says this both for a device whose permissions shut this user out and for
        // one another program holds (its lock file or exclusive mode): only the first is closed
        // to us by its permissions.
        const QFileInfo info(m_device);
        if (info.isReadable() && info.isWritable())
            return {.cause = Cause::Busy, .device = m_device};
        return {.cause = Cause::NoPermission, .device = m_device, .group = info.group()};
    }
    case QSerialPort::UnsupportedOperationError:
        return {.cause = Cause::NotSerial, .device = m_device};
    default:
        return {.cause = Cause::Other, .device = m_device, .systemText = m_port.errorString()};
    }
}

void SerialDevice::close() {
    // Unwritten bytes are dropped first: a serial driver would otherwise hold the close until
    // they are out, and this thread must never wait.
    if (!m_port.isOpen() || m_closing)
        return;
    // On a line that has gone away the flush fails too; that says nothing new.
    m_closing = true;
    m_backlog.clear();
    m_port.clear(QSerialPort::Output);
    m_port.close();
    m_closing = false;
}

bool SerialDevice::write(const QByteArray &chunk, bool sourceCanWait) {
    if (!m_port.isOpen())
        return false;
    m_backlog.append(chunk);
    // Dropping before handing over keeps the bound even for a chunk larger than it.
    const bool wait = m_backlog.keepWithin(sourceCanWait);
    if (const qint64 dropped = m_backlog.takeDropped())
        emit this->dropped(dropped);
    handOver();
    return wait;
}

bool SerialDevice::holdsSource() {
    const bool holds = m_backlog.holdsSource() && m_backlog.keepWithin(true);
    if (const qint64 dropped = m_backlog.takeDropped())
        emit this->dropped(dropped);
    return holds;
}

void SerialDevice::handOver() {
    while (!m_backlog.isEmpty() && m_port.isOpen() && m_port.bytesToWrite() < kHandOverBelow) {
        const QByteArrayView next = m_backlog.front().first(
            std::min(m_backlog.front().size(), qsizetype(kHandOverBelow - m_port.bytesToWrite())));
        m_port.write(next.data(), next.size());
        m_backlog.took(next.size());
    }
}

void SerialDevice::handleError(QSerialPort::SerialPortError error) {
    // A hung-up line reports ResourceError, or, when the read just finds the end (a closed
    // pseudo-terminal), ReadError over and over; either way the device is gone.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                      error == QSerialPort::WriteError;
    if (!gone || !m_port.isOpen() || m_closing)
        return;
    m_failure = {
        .cause = PortFailure::Cause::Other, .device = m_device, .systemText = m_port.errorString()};
    close();
    emit lost();
}
