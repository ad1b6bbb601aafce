#pragma once

#include "io/portdevice.h"

#include <QSerialPort>

// A serial line, or anything that looks like one (a pseudo-terminal).
class SerialDevice : public PortDevice {
    Q_OBJECT
public:
    explicit SerialDevice(QObject *parent = nullptr);
    ~SerialDevice() override;

    Opened open(const QString &device, const LineSettings &settings) override;
    void close() override;
    QIODevice &io() override { return m_port; }
    PortFailure failure() const override { return m_failure; }

private:
    bool apply(const LineSettings &settings);
    bool refuse(PortFailure::Cause cause, PortSetting setting, qint32 value);
    PortFailure openFailure() const;
    void handleError(QSerialPort::SerialPortError error);

    QSerialPort m_port{this}; // a child, so that it moves to the I/O thread with this
    PortFailure m_failure;
    QString m_device;
    bool m_closing = false;
};
