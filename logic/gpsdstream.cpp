#include "logic/gpsdstream.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Whether a device object of gpsd's says the device is active: "activated" is the time it was,
// or 0 once it is not. A device listed without it is one gpsd holds.
bool isActive(const QJsonObject &device) {
    const QJsonValue activated = device.value(QLatin1String("activated"));
    return !(activated.isDouble() && activated.toDouble() == 0);
}

} // namespace

GpsdStream::GpsdStream(QString device)
    : m_device(std::move(device)) {}

void GpsdStream::reset() {
    m_present.clear();
    m_known = false;
    m_error.clear();
    m_line = Line::Start;
    m_object.clear();
    m_changed = false;
}

qsizetype GpsdStream::feed(QByteArrayView bytes, QByteArray &sentences) {
    m_changed = false;
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (m_line == Line::Start)
            m_line = bytes[at] == '{' ? Line::Object : Line::Sentence;
        const qsizetype newline = bytes.indexOf('\n', at);
        const qsizetype lineEnd = newline < 0 ? bytes.size() : newline + 1;
        const QByteArrayView part = bytes.sliced(at, lineEnd - at);
        at = lineEnd;
        if (m_line == Line::Sentence) {
            sentences += part;
        } else if (m_line == Line::Object) {
            m_object += part;
            if (m_object.size() > kLongestObject) {
                m_object.clear();
                m_line = Line::TooLong;
            }
        }
        if (newline < 0)
            break;
        const bool object = m_line == Line::Object;
        m_line = Line::Start;
        if (object && handle(std::exchange(m_object, QByteArray()))) {
            m_changed = true;
            break;
        }
    }
    return at;
}

// True when what is known of the devices changed.
bool GpsdStream::handle(const QByteArray &object) {
    // Only the device reports matter here; the rest (positions, satellites) is gpsd's reading of
    // the sentences passed on anyway, and is not worth parsing.
    if (!object.contains("\"DEVICE") && !object.contains("\"ERROR\""))
        return false;
    const QJsonObject json = QJsonDocument::fromJson(object).object();
    const QString kind = json.value(QLatin1String("class")).toString();
    if (kind == QLatin1String("ERROR")) {
        m_error = json.value(QLatin1String("message")).toString();
        return true;
    }
    const QStringList before = m_present;
    if (kind == QLatin1String("DEVICES")) {
        m_present.clear();
        const QJsonArray devices = json.value(QLatin1String("devices")).toArray();
        for (const QJsonValue &value : devices) {
            const QJsonObject device = value.toObject();
            const QString path = device.value(QLatin1String("path")).toString();
            if (asked(path) && isActive(device) && !m_present.contains(path))
                m_present.append(path);
        }
        if (!std::exchange(m_known, true))
            return true;
    } else if (kind == QLatin1String("DEVICE")) {
        const QString path = json.value(QLatin1String("path")).toString();
        if (!asked(path))
            return false;
        if (!isActive(json))
            m_present.removeAll(path);
        else if (!m_present.contains(path))
            m_present.append(path);
    }
    return m_present != before;
}
