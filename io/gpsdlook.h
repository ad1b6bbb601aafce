#pragma once

#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>

// A short look whether gpsd listens at an address: connects, asks for gpsd's version, and
// tells once, within the time given. It never waits; the answer comes as a signal.
class GpsdLook : public QObject {
    Q_OBJECT
public:
    explicit GpsdLook(QObject *parent = nullptr);

    // Starts a look, unless one is under way.
    void start(const QString &host, quint16 port, std::chrono::milliseconds within);
    bool isLooking() const { return m_timeout.isActive(); }

signals:
    void answered(bool gpsdListens);

private:
    void finish(bool gpsdListens);

    QTcpSocket m_socket{this};
    QTimer m_timeout{this};
    QByteArray m_greeting;
};
