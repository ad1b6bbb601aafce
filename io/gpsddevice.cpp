#include "io/gpsddevice.h"

#include <QJsonDocument>
#include <QJsonObject>

GpsdDevice::GpsdDevice(const LinkTimings &timings, QObject *parent)
    : PortDevice(timings, parent)
    , m_link(timings, this) {
    connect(&m_link, &PortDevice::opened, this, &GpsdDevice::connected);
    connect(&m_link, &PortDevice::readyRead, this, &PortDevice::readyRead);
    connect(&m_link, &PortDevice::interrupted, this, &GpsdDevice::linkEnded);
    connect(&m_link, &PortDevice::tryFailed, this, &GpsdDevice::linkEnded);
}

PortDevice::Opening GpsdDevice::open(const QString &device, const LineSettings &settings) {
    const std::optional<NetAddress> address = parseNetAddress(device, PortDirection::Input);
    if (!address || address->protocol != NetAddress::Protocol::Gpsd) {
        m_failure = {.cause = PortFailure::Cause::BadAddress, .device = device};
        return Opening::No;
    }
    // Activating again while reading keeps the connection, as a serial line keeps its bytes.
    if (device == m_device && isOpen())
        return Opening::Yes;
    close();
    m_device = device;
    m_address = *address;
    m_stream = GpsdStream(m_address.device);
    const Opening opening = m_link.open(device, settings);
    m_failure = m_link.failure();
    return opening;
}

void GpsdDevice::close() {
    m_link.close();
    m_reading = false;
    m_judgeFirst = false;
    m_stream.reset();
    m_toldReason.clear();
    m_unread.clear();
    m_unreadAt = 0;
}

QString GpsdDevice::source() const {
    return m_stream.present().join(QStringLiteral(", "));
}

void GpsdDevice::connected() {
    m_stream.reset();
    m_toldReason.clear();
    watch(!m_address.device.isEmpty());
}

// Asks for the receiver's sentences as they are, and for gpsd's objects, which alone report
// devices coming and going. gpsd turns down a watch of a device it does not have; until it
// reports that device, the watch is of the reports alone, since sentences come without the
// device they are from.
void GpsdDevice::watch(bool device) {
    QJsonObject watch{{QStringLiteral("enable"), true},
                      {QStringLiteral("json"), true},
                      {QStringLiteral("nmea"), device || m_address.device.isEmpty()}};
    if (device)
        watch.insert(QStringLiteral("device"), m_address.device);
    m_watchingDevice = device;
    m_link.sendToPeer("?WATCH=" + QJsonDocument(watch).toJson(QJsonDocument::Compact) + ";\n");
}

// The connection to gpsd ended, or a try failed: for the port, the device is lost if it was
// read, and otherwise this was one more try that brought nothing.
void GpsdDevice::linkEnded() {
    m_failure = m_link.failure();
    m_unread.clear();
    m_unreadAt = 0;
    m_judgeFirst = false;
    m_toldReason.clear();
    if (std::exchange(m_reading, false)) {
        emit interrupted();
        return;
    }
    emit tryFailed(m_link.nextTryIn());
}

QByteArray GpsdDevice::read() {
    if (std::exchange(m_judgeFirst, false))
        judge();
    QByteArray out;
    for (;;) {
        if (m_unreadAt == m_unread.size()) {
            m_unread = m_link.read();
            m_unreadAt = 0;
            if (m_unread.isEmpty())
                return out;
        }
        m_unreadAt += m_stream.feed(QByteArrayView(m_unread).sliced(m_unreadAt), out);
        // Sentences flow: whatever gpsd said of its devices before, one is read now.
        if (!out.isEmpty() && !m_reading)
            becomeReading();
        if (m_stream.devicesChanged()) {
            if (!out.isEmpty()) {
                m_judgeFirst = true;
                return out;
            }
            judge();
        }
    }
}

// Reading while gpsd reports a device asked for; otherwise waiting, with the reason in the
// user's words, and no watch on silence: a gpsd without a receiver has nothing to say.
void GpsdDevice::judge() {
    const bool turnedDown = !m_stream.takeError().isEmpty() && m_watchingDevice;
    if (turnedDown)
        watch(false);
    if (!m_stream.present().isEmpty() && !turnedDown) {
        if (!m_address.device.isEmpty() && !m_watchingDevice)
            watch(true);
        if (!m_reading)
            becomeReading();
        return;
    }
    const QString reason = m_address.device.isEmpty()
                               ? QStringLiteral("gpsd meldet kein Ger\u00e4t")
                               : QStringLiteral("gpsd meldet %1 nicht").arg(m_address.device);
    m_failure = {.cause = PortFailure::Cause::Other, .device = m_device, .systemText = reason};
    m_link.watchSilence(false);
    if (std::exchange(m_reading, false)) {
        m_toldReason = reason;
        emit interrupted();
        emit waiting();
        return;
    }
    if (std::exchange(m_toldReason, reason) != reason)
        emit waiting();
}

void GpsdDevice::becomeReading() {
    m_reading = true;
    m_failure = {};
    m_toldReason.clear();
    m_link.watchSilence(true);
    emit opened();
}
