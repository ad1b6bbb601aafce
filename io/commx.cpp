#include "io/commx.h"

#include "logic/portname.h"
#include "logic/trace.h"

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

bool CommX::applySettings() {
    const Settings &s = m_settings;
    const std::optional<QSerialPort::Parity> parity = toParity(s.parity);
    // QSerialPort takes any value of its enums without complaint; refuse what no line can do.
    if (s.baudRate <= 0 || s.dataBits < 5 || s.dataBits > 8 || !parity ||
        (s.stopBits != 1 && s.stopBits != 2)) {
        qCDebug(lcSerial) << objectName() << "refuses the line settings" << s.baudRate << s.dataBits
                          << s.parity << s.stopBits;
        return false;
    }
    return m_port.setBaudRate(s.baudRate) &&
           m_port.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)) &&
           m_port.setParity(*parity) &&
           m_port.setStopBits(static_cast<QSerialPort::StopBits>(s.stopBits)) &&
           m_port.setFlowControl(QSerialPort::NoFlowControl);
}

bool CommX::Open() {
    const QString device = portDevice(m_settings.portName);
    if (m_port.isOpen() && device != m_device)
        closePort();
    m_device = device;
    bool opened = m_port.isOpen();
    if (!opened) {
        m_port.setPortName(device);
        opened = m_port.open(QIODevice::ReadWrite);
    }
    if (opened && !applySettings()) {
        qCDebug(lcSerial) << objectName() << device << m_port.errorString();
        closePort();
        opened = false;
    } else if (!opened) {
        qCDebug(lcSerial) << objectName() << "cannot open" << device << m_port.errorString();
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
