#pragma once

#include "io/netdevices.h"
#include "io/portdevice.h"
#include "logic/gpsdstream.h"
#include "logic/netaddress.h"

#include <QByteArray>

// The input reading a receiver through gpsd, which holds the receiver and relays its sentences
// unchanged to a client that asks for them. The link to gpsd behaves as the TCP input's does
// (connect timeout, silence, a growing pause); over it the device asks for the sentences and for
// gpsd's reports on its devices, and passes on exactly the sentences, byte for byte; gpsd's own
// objects never leave it. It is open while gpsd reports the device asked for (or any, when none
// was), so that a receiver plugged in later is picked up on the same connection, and one gpsd
// drops is lost until it is back.
class GpsdDevice : public PortDevice {
    Q_OBJECT
public:
    explicit GpsdDevice(const LinkTimings &timings, QObject *parent = nullptr);

    Opening open(const QString &device, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_link.isOpen() && m_reading; }
    PortFailure failure() const override { return m_failure; }
    QByteArray read() override;
    bool canWait() const override { return true; }
    bool write(const QByteArray &, bool) override { return false; }
    QString source() const override;

private:
    void connected();
    void watch(bool device);
    void linkEnded();
    void judge();
    void becomeReading();

    TcpClientDevice m_link;
    NetAddress m_address;
    QString m_device;
    PortFailure m_failure;
    GpsdStream m_stream;
    QString m_toldReason; // the reason the last waiting() gave
    bool m_reading = false;
    bool m_watchingDevice = false; // the watch names the device asked for
    bool m_judgeFirst = false;     // a change of the devices waits for the sentences before it
    QByteArray m_unread;
    qsizetype m_unreadAt = 0;
};
