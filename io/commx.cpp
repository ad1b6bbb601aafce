#include "io/commx.h"

#include "logic/portname.h"
#include "logic/trace.h"

#include <QFileInfo>
#include <QLoggingCategory>

#include <array>
#include <optional>

Q_LOGGING_CATEGORY(lcSerial, "pelora.serial", QtInfoMsg)

namespace {

// The port itself is given chunks only while it holds less than this, so that most of the
// backlog stays in whole chunks that can still be dropped. Enough to keep a fast line busy.
constexpr qint64 kHandOverBelow = 64 * 1024;

std::optional<QSerialPort::Parity> toParity(qint32 parity) {
    static constexpr std::array kParities{QSerialPort::NoParity, QSerialPort::OddParity,
                                          QSerialPort::EvenParity, QSerialPort::MarkParity,
                                          QSerialPort::SpaceParity};
    if (parity < 0 || parity >= qint32(kParities.size()))
        return std::nullopt;
    return kParities[parity];
}

} // namespace

CommX::CommX(const QString &name, QObject *parent)
    : QObject(parent) {
    setObjectName(name);
    connect(&m_port, &QSerialPort::readyRead, this,
            [this] { emit DataReceived(QString::fromLatin1(m_port.readAll())); });
    connect(&m_port, &QSerialPort::errorOccurred, this, &CommX::handleError);
    connect(&m_port, &QSerialPort::bytesWritten, this, &CommX::handOver);
}

CommX::~CommX() {
    // The port closes as it goes; nothing it reports then may reach a half-destroyed control.
    m_port.disconnect(this);
}

void CommX::PortName(const QString &name) {
    m_settings.portName = name;
}
void CommX::BaudRate(qint32 bitsPerSecond) {
    m_settings.baudRate = bitsPerSecond;
}
void CommX::DataBits(qint32 bits) {
    m_settings.dataBits = bits;
}
void CommX::Parity(qint32 parity) {
    m_settings.parity = parity;
}
void CommX::StopBits(qint32 bits) {
    m_settings.stopBits = bits;
}

bool CommX::refuse(PortFailure::Cause cause, PortSetting setting, qint32 value) {
    m_failure = {
        .cause = cause, .device = m_device, .setting = setting, .value = QString::number(value)};
    // A setter fails with this error when the device turns the value down; any other error
    // (the device went away meanwhile) is no answer about the value.
    if (cause == PortFailure::Cause::SettingRefused &&
        m_port.error() != QSerialPort::UnsupportedOperationError) {
        m_failure.cause = PortFailure::Cause::Other;
        m_failure.systemText = m_port.errorString();
    }
    qCDebug(lcSerial) << objectName() << m_device << "refuses" << int(setting) << value
                      << m_port.errorString();
    return false;
}

bool CommX::applySettings() {
    using Cause = PortFailure::Cause;
    const Settings &s = m_settings;
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

PortFailure CommX::openFailure() const {
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

bool CommX::Open() {
    const QString device = portDevice(m_settings.portName);
    if (m_port.isOpen() && device != m_device)
        closePort();
    m_device = device;
    m_failure = {};
    QStringView typed = m_settings.portName;
    if (typed.startsWith(kComPrefix))
        typed = typed.sliced(kComPrefix.size());
    bool opened = m_port.isOpen();
    if (typed.trimmed().isEmpty()) {
        // Opening would try the folder /dev itself.
        m_failure.cause = PortFailure::Cause::EmptyName;
    } else if (!opened) {
        m_port.setPortName(device);
        opened = m_port.open(QIODevice::ReadWrite);
        if (!opened) {
            m_failure = openFailure();
            qCDebug(lcSerial) << objectName() << "cannot open" << device << m_port.errorString();
        }
    }
    if (opened && !applySettings()) {
        closePort();
        opened = false;
    }
    trace({QStringLiteral("port"), objectName(),
           opened ? QStringLiteral("open") : QStringLiteral("failed"), device});
    return opened;
}

void CommX::Close() {
    closePort();
}

void CommX::closePort() {
    if (m_port.isOpen())
        m_port.close();
    m_queue.clear();
    m_queuedBytes = 0;
    trace({QStringLiteral("port"), objectName(), QStringLiteral("closed"), QString()});
}

void CommX::Send(const QString &text) {
    if (!m_port.isOpen() || text.isEmpty())
        return;
    // Returns at once; the port writes the queued bytes whenever the device takes them.
    const QByteArray bytes = text.toLatin1();
    m_queue.push_back(bytes);
    m_queuedBytes += bytes.size();

    // Dropping before handing over keeps the bound even for a chunk larger than it.
    qint64 dropped = 0;
    while (!m_queue.empty() && m_port.bytesToWrite() + m_queuedBytes > kBacklogLimit) {
        dropped += m_queue.front().size();
        m_queuedBytes -= m_queue.front().size();
        m_queue.pop_front();
    }
    handOver();
    if (dropped == 0)
        return;
    m_droppedBytes += dropped;
    qCDebug(lcSerial) << objectName() << "dropped" << dropped << "bytes the device did not take";
    trace({QStringLiteral("dropped"), objectName(), dropped});
    emit Dropped(dropped);
}

void CommX::handOver() {
    while (!m_queue.empty() && m_port.isOpen() && m_port.bytesToWrite() < kHandOverBelow) {
        m_port.write(m_queue.front());
        m_queuedBytes -= m_queue.front().size();
        m_queue.pop_front();
    }
}

void CommX::handleError(QSerialPort::SerialPortError error) {
    // A hung-up line reports ResourceError, or, when the read just finds the end (a closed
    // pseudo-terminal), ReadError over and over; either way the device is gone.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                      error == QSerialPort::WriteError;
    if (!gone || !m_port.isOpen())
        return;
    qCDebug(lcSerial) << objectName() << "lost" << m_device << m_port.errorString();
    closePort();
    emit Lost();
}
