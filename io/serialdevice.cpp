#include "io/serialdevice.h"

#include <array>
#include <optional>

namespace {

std::optional<QSerialPort::Parity> toParity(qint32 parity) {
    static constexpr std::array kParities{QSerialPort::NoParity, QSerialPort::OddParity,
                                          QSerialPort::EvenParity, QSerialPort::MarkParity,
                                          QSerialPort::SpaceParity};
    if (parity < 0 || parity >= qint32(kParities.size()))
        return std::nullopt;
    return kParities[parity];
}

} // namespace

SerialDevice::SerialDevice(QObject *parent)
    : PortDevice(parent) {
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialDevice::handleError);
}

SerialDevice::~SerialDevice() {
    // The port closes as it goes; nothing it reports then may reach a half-destroyed device.
    m_port.disconnect(this);
    close();
}

PortDevice::Opened SerialDevice::open(const QString &device, const LineSettings &settings) {
    m_failure = {};
    if (!m_port.isOpen()) {
        m_port.setPortName(device);
        if (!m_port.open(QIODevice::ReadWrite)) {
            m_failure = {m_port.error(), m_port.errorString()};
            return Opened::No;
        }
    }
    if (apply(settings))
        return Opened::Yes;
    close();
    return Opened::Refused;
}

bool SerialDevice::apply(const LineSettings &s) {
    const std::optional<QSerialPort::Parity> parity = toParity(s.parity);
    // QSerialPort takes any value of its enums without complaint; refuse what no line can do.
    if (s.baudRate <= 0 || s.dataBits < 5 || s.dataBits > 8 || !parity ||
        (s.stopBits != 1 && s.stopBits != 2)) {
        m_failure = {
            QSerialPort::UnsupportedOperationError,
            QStringLiteral("no line runs at %1 baud, %2 data bits, parity %3, %4 stop bits")
                .arg(s.baudRate)
                .arg(s.dataBits)
                .arg(s.parity)
                .arg(s.stopBits)};
        return false;
    }
    const bool applied = m_port.setBaudRate(s.baudRate) &&
                         m_port.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)) &&
                         m_port.setParity(*parity) &&
                         m_port.setStopBits(static_cast<QSerialPort::StopBits>(s.stopBits)) &&
                         m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!applied)
        m_failure = {m_port.error(), m_port.errorString()};
    return applied;
}

void SerialDevice::close() {
    // Unwritten bytes are dropped first: a serial driver would otherwise hold the close until
    // they are out, and this thread must never wait.
    if (!m_port.isOpen() || m_closing)
        return;
    // On a line that has gone away the flush fails too; that says nothing new.
    m_closing = true;
    m_port.clear(QSerialPort::Output);
    m_port.close();
    m_closing = false;
}

void SerialDevice::handleError(QSerialPort::SerialPortError error) {
    // A hung-up line reports ResourceError, or, when the read just finds the end (a closed
    // pseudo-terminal), ReadError over and over; either way the device is gone.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                      error == QSerialPort::WriteError;
    if (!gone || !m_port.isOpen() || m_closing)
        return;
    m_failure = {error, m_port.errorString()};
    close();
    emit lost();
}
