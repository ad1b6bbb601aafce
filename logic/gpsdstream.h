#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// What gpsd sends a client that watches with "nmea" and "json" on: the receiver's sentences
// byte for byte as the receiver sent them, and gpsd's own objects, one per line, each line
// starting with "{". Splits what arrives, in pieces of any size, into the two, and keeps from
// the objects which devices gpsd reports active (its DEVICES answer and the DEVICE objects it
// sends as devices come and go).
class GpsdStream {
public:
    // device: the one device asked for ("/dev/ttyUSB0"); empty for any.
    explicit GpsdStream(QString device = {});

    // Reads bytes from the start, appending the sentences among them to sentences, and stops
    // after an object that changed what is known of the devices (see devicesChanged), or at
    // the end.
    // Returns how many bytes it read. A line may end in a later call.
    qsizetype feed(QByteArrayView bytes, QByteArray &sentences);
    // Whether the last feed() stopped after a change of what is known of the devices: the
    // first report on them, or a change of those present.
    bool devicesChanged() const { return m_changed; }
    // Whether gpsd has reported its devices since the start.
    bool known() const { return m_known; }
    // What gpsd's last error object said (a request it could not fulfil), once; feed() stops
    // after one, as after a change of the devices.
    QString takeError() { return std::exchange(m_error, QString()); }
    // The devices asked for that gpsd reports active, in the order they came.
    const QStringList &present() const { return m_present; }
    // Starts over, for a new connection.
    void reset();

    // A line of gpsd's longer than this is no object of its protocol and is skipped.
    static constexpr qsizetype kLongestObject = 64 * 1024;

private:
    bool handle(const QByteArray &object);
    bool asked(const QString &path) const { return m_device.isEmpty() || path == m_device; }

    QString m_device;
    QStringList m_present;
    bool m_known = false;
    QString m_error;
    enum class Line { Start, Sentence, Object, TooLong };
    Line m_line = Line::Start;
    QByteArray m_object;
    bool m_changed = false;
};
