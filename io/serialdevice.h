#pragma once

#include "io/backlog.h"
#include "io/portdevice.h"

#include <QSerialPort>

// A serial line, or anything that looks like one (a pseudo-terminal).
class SerialDevice : public PortDevice {
    Q_OBJECT
public:
    explicit SerialDevice(const LinkTimings &timings, QObject *parent = nullptr);
    ~SerialDevice() override;

    Opening open(const QString &device, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    PortFailure failure() const override { return m_failure; }

    QByteArray read() override { return m_port.readAll(); }
    bool canWait() const override { return m_canWait; }

    bool write(const QByteArray &chunk, bool sourceCanWait) override;
    bool holdsSource() override;
    std::optional<Backlog::Clock::time_point> reviewAt() const override {
        return m_backlog.reviewAt();
    }
    qint64 waitingBytes() const override { return m_backlog.size() + m_port.bytesToWrite(); }

    // The port's own write buffer is given bytes only while it holds less than this, so that
    // most of a backlog stays in whole chunks that can still be dropped. Enough to keep a fast
    // line busy.
    static constexpr qint64 kHandOverBelow = 64 * 1024;

private:
    bool apply(const LineSettings &settings);
    bool refuse(PortFailure::Cause cause, PortSetting setting, qint32 value);
    PortFailure openFailure() const;
    void handleError(QSerialPort::SerialPortError error);
    void handOver();

    QSerialPort m_port{this}; // a child, so that it moves to the I/O thread with this
    Backlog m_backlog;
    PortFailure m_failure;
    QString m_device;
    bool m_canWait = false;
    bool m_closing = false;
};
