#pragma once

#include "logic/portfailure.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <deque>

// The serial port control both ports use: line settings are written first and take effect at the
// next Open; text maps one to one onto bytes (Latin-1) in both directions.
class CommX : public QObject {
    Q_OBJECT
public:
    // The name tells the two instances apart in the trace ("CommX1").
    explicit CommX(const QString &name, QObject *parent = nullptr);
    ~CommX() override;

    void PortName(const QString &name);
    void BaudRate(qint32 bitsPerSecond);
    void DataBits(qint32 bits);
    void Parity(qint32 parity); // 0 none, 1 odd, 2 even, 3 mark, 4 space
    void StopBits(qint32 bits);

    // Opens the mapped device with the settings last written; on a port already open on that
    // device the settings are applied in place, so no received byte is dropped. False when the
    // port could not be opened or refused a setting; it is closed then.
    bool Open();
    void Close();
    bool IsOpen() const { return m_port.isOpen(); }
    // Queues the characters as bytes for writing; nothing while the port is closed. Never
    // waits: when the device takes bytes slower than they come, the oldest chunks not yet handed
    // to the port are dropped so that no more than kBacklogLimit bytes wait.
    void Send(const QString &text);

    // The device the last Open mapped the port name to.
    QString device() const { return m_device; }
    // Why the last Open failed; Cause::None after one that succeeded.
    const PortFailure &lastFailure() const { return m_failure; }
    // Bytes given to Send that the device has not taken yet.
    qint64 bytesToWrite() const { return m_port.bytesToWrite() + m_queuedBytes; }
    // Bytes given to Send and dropped because the device did not take them in time.
    qint64 droppedBytes() const { return m_droppedBytes; }

    static constexpr qint64 kBacklogLimit = 1 << 20;

signals:
    void DataReceived(const QString &chunk);
    // The device went away while the port was open (adapter unplugged, pseudo-terminal closed).
    // The port is closed when this is raised, and it is raised once per loss.
    void Lost();
    // Send dropped this many bytes, whole chunks, oldest first, to keep the backlog bounded.
    void Dropped(qint64 bytes);

private:
    bool applySettings();
    bool refuse(PortFailure::Cause cause, PortSetting setting, qint32 value);
    PortFailure openFailure() const;
    void closePort();
    void handleError(QSerialPort::SerialPortError error);
    void handOver();

    struct Settings {
        QString portName;
        qint32 baudRate = 9600;
        qint32 dataBits = 8;
        qint32 parity = 0;
        qint32 stopBits = 1;
    };

    Settings m_settings;
    QSerialPort m_port;
    QString m_device;
    PortFailure m_failure;
    // Chunks as Send got them, not yet handed to the port: only these can still be dropped.
    std::deque<QByteArray> m_queue;
    qint64 m_queuedBytes = 0;
    qint64 m_droppedBytes = 0;
};
