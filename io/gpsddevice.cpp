#include "io/gpsddevice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcGpsd, "pelora.ports.gpsd", QtInfoMsg)

namespace {

// Whether a device object of gpsd's says the device is active: "activated" is the time it was,
// or 0 once it is not. A device listed without it is one gpsd holds.
bool isActive(const QJsonObject &device) {
    const QJsonValue activated = device.value(QLatin1String("activated"));
    return !(activated.isDouble() && activated.toDouble() == 0);
}

} // namespace

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
    const Opening opening = m_link.open(device, settings);
    m_failure = m_link.failure();
    return opening;
}

void GpsdDevice::close() {
    m_link.close();
    m_reading = false;
    m_present.clear();
    m_toldReason.clear();
    m_unread.clear();
    m_unreadAt = 0;
    m_line = Line::Start;
    m_object.clear();
    m_pending.clear();
}

// Asks for the receiver's sentences as they are, and for gpsd's objects, which alone report
// devices coming and going.
void GpsdDevice::connected() {
    m_line = Line::Start;
    m_object.clear();
    m_present.clear();
    m_toldReason.clear();
    QJsonObject watch{{QStringLiteral("enable"), true},
                      {QStringLiteral("nmea"), true},
                      {QStringLiteral("json"), true}};
    if (!m_address.device.isEmpty())
        watch.insert(QStringLiteral("device"), m_address.device);
    m_link.sendToPeer("?WATCH=" + QJsonDocument(watch).toJson(QJsonDocument::Compact) + ";\n");
}

// The connection to gpsd ended (or a try failed): for the port, the device is lost if it was
// read, and otherwise this was one more try that brought nothing.
void GpsdDevice::linkEnded() {
    m_failure = m_link.failure();
    m_unread.clear();
    m_unreadAt = 0;
    m_pending.clear();
    m_toldReason.clear();
    if (std::exchange(m_reading, false)) {
        emit interrupted();
        return;
    }
    emit tryFailed(m_link.nextTryIn());
}

QByteArray GpsdDevice::read() {
    QByteArray out;
    if (!m_pending.isEmpty())
        handle(std::exchange(m_pending, QByteArray()));
    for (;;) {
        if (m_unreadAt == m_unread.size()) {
            m_unread = m_link.read();
            m_unreadAt = 0;
            if (m_unread.isEmpty())
                return out;
        }
        sortOut(out);
        // An object that may change the state waits until what came before it is passed on.
        if (!m_pending.isEmpty())
            return out;
    }
}

void GpsdDevice::sortOut(QByteArray &out) {
    const qsizetype end = m_unread.size();
    while (m_unreadAt < end) {
        if (m_line == Line::Start)
            m_line = m_unread[m_unreadAt] == '{' ? Line::Object : Line::Sentence;
        const qsizetype newline = m_unread.indexOf('\n', m_unreadAt);
        const qsizetype lineEnd = newline < 0 ? end : newline + 1;
        const QByteArrayView part =
            QByteArrayView(m_unread).sliced(m_unreadAt, lineEnd - m_unreadAt);
        m_unreadAt = lineEnd;
        const bool complete = newline >= 0;
        switch (m_line) {
        case Line::Sentence:
            if (!m_reading)
                becomeReading();
            out += part;
            break;
        case Line::Object:
            m_object += part;
            if (m_object.size() > kLongestObject) {
                m_object.clear();
                m_line = complete ? Line::Start : Line::TooLong;
                continue;
            }
            break;
        case Line::TooLong:
        case Line::Start:
            break;
        }
        if (!complete)
            return;
        m_line = Line::Start;
        if (m_object.isEmpty())
            continue;
        const QByteArray object = std::exchange(m_object, QByteArray());
        // Only the device reports and errors matter here; the rest (positions, satellites) is
        // gpsd's reading of the sentences passed on anyway.
        if (!object.contains("\"DEVICE") && !object.contains("\"ERROR\""))
            continue;
        if (!out.isEmpty()) {
            // Handled at the next read, after the sentences before it have gone.
            m_pending = object;
            return;
        }
        handle(object);
    }
}

void GpsdDevice::handle(const QByteArray &object) {
    const QJsonObject json = QJsonDocument::fromJson(object).object();
    const QString kind = json.value(QLatin1String("class")).toString();
    const auto asked = [this](const QString &path) {
        return m_address.device.isEmpty() || path == m_address.device;
    };
    if (kind == QLatin1String("DEVICES")) {
        m_present.clear();
        const QJsonArray devices = json.value(QLatin1String("devices")).toArray();
        for (const QJsonValue &value : devices) {
            const QJsonObject device = value.toObject();
            const QString path = device.value(QLatin1String("path")).toString();
            if (asked(path) && isActive(device) && !m_present.contains(path))
                m_present.append(path);
        }
        judge();
    } else if (kind == QLatin1String("DEVICE")) {
        const QString path = json.value(QLatin1String("path")).toString();
        if (!asked(path))
            return;
        if (isActive(json) && !m_present.contains(path))
            m_present.append(path);
        else if (!isActive(json))
            m_present.removeAll(path);
        judge();
    } else if (kind == QLatin1String("ERROR")) {
        qCDebug(lcGpsd) << m_device << "gpsd reports" << json.value(QLatin1String("message"));
    }
}

// Reading while gpsd reports a device asked for; otherwise waiting, with the reason in the
// user's words, and no watch on silence: a gpsd without a receiver has nothing to say.
void GpsdDevice::judge() {
    if (!m_present.isEmpty()) {
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

// Sentences flow: whatever gpsd said of its devices before, one is read now.
void GpsdDevice::becomeReading() {
    m_reading = true;
    m_failure = {};
    m_toldReason.clear();
    m_link.watchSilence(true);
    emit opened();
}
