#pragma once

#include "io/portdevice.h"

#include <QObject>
#include <QString>
#include <QTimer>

class IoThread;
class PortWorker;

// The port control the input and the output use, in the trace "CommX1" and "CommX2": a serial
// line, a pseudo-terminal or a network port behind the same calls. Line settings are written
// first and take effect at the next open(); text maps one to one onto bytes (Latin-1) in both
// directions. It is called and raises its signals on the thread that created it; the device is
// read and written on the I/O thread.
class PortControl : public QObject {
    Q_OBJECT
public:
    // The name tells the two instances apart in the trace ("CommX1"). The I/O thread must outlive
    // the port.
    PortControl(const QString &name, IoThread &ioThread, QObject *parent = nullptr);
    ~PortControl() override;

    // Writing a setting ends the wait for a lost device (see returned): the port is being set up
    // anew.
    void setPortName(const QString &name);
    void setBaudRate(qint32 bitsPerSecond);
    void setDataBits(qint32 bits);
    void setParity(qint32 parity); // 0 none, 1 odd, 2 even, 3 mark, 4 space
    void setStopBits(qint32 bits);

    // Opens the mapped device with the settings last written; on a port already open on that
    // device the settings are applied in place, so no received byte is dropped. False when the
    // port could not be opened or refused a setting; it is closed then, and lastFailure() says
    // why. A network port whose peer or name is not known yet is active but not open: true,
    // and opened follows once it is. Ends the wait for a lost device.
    bool open();
    // No dataReceived after this returns, not even for bytes read just before. Ends the wait for
    // a lost device.
    void close();
    // Whether data can flow right now: the line is open, the peer connected, the server
    // listening. False as soon as the device has gone away, even before lost is raised, and
    // while a network port is still trying to reach its peer.
    bool isOpen() const;
    // Where the port stands between open() and close(); changed in setLifecycle() only. The
    // worker's isOpen() is the device's own fact and may turn false before Returning is reached
    // here, since the loss comes to this thread queued.
    enum class Lifecycle {
        Closed,     // not meant to be open
        Connecting, // opened, its network peer or name not reached yet
        Open,       // data can flow
        Returning,  // lost: its network peer is tried again, or its device looked for each second
    };
    Lifecycle lifecycle() const { return m_lifecycle; }
    // Whether the port is meant to be open: open, or reaching its peer, or waiting for its lost
    // device to come back. From a successful open() until close() or a failed open().
    bool isActive() const { return m_lifecycle != Lifecycle::Closed; }
    // Queues the characters as bytes for writing; nothing while the port is closed, and a
    // network output that is still reaching its peer holds them (within the bound). Never
    // waits: when the device takes bytes slower than they come, the oldest whole chunks not yet
    // handed to the device are dropped so that no more than Backlog::kLimit bytes wait.
    void send(const QString &text);

    // Whether this port passes data on: a network address then means waiting for clients (TCP)
    // or sending datagrams (UDP) rather than connecting or receiving. Before the first open().
    void setOutput(bool output);
    // The port an open network port waits or receives at, as the system chose it for port 0.
    quint16 localPort() const;
    // How long links may take, consumers lag and received chunks gather; for ports opened from
    // now on.
    void setTimings(const LinkTimings &timings);

    // Every chunk this port receives is sent on target at once, on the I/O thread, before
    // dataReceived carries it here; while target is closed it goes nowhere there. Where this
    // port's peer can wait (a pseudo-terminal, TCP), it is read no faster than target's
    // consumers take the bytes, unless one of them has stopped or stays far behind.
    void forwardTo(PortControl &target);

    // The device the last open() opened or tried.
    QString device() const { return m_device; }
    // What a peer in between reads, as it said when the port opened last (gpsd's device).
    QString source() const { return m_source; }
    // The device the port name written last means, mapped once when it was written.
    QString namedDevice() const { return m_namedDevice; }
    // Why the last open() failed; Cause::None after one that succeeded.
    const PortFailure &lastFailure() const { return m_failure; }
    // Bytes given to send() or forwarded that the device has not taken yet.
    qint64 bytesToWrite() const;
    // Bytes dropped because the device did not take them in time, as far as dropped has told.
    qint64 droppedBytes() const { return m_droppedBytes; }

signals:
    void dataReceived(const QString &chunk);
    // This many received bytes, following the last dataReceived, are not raised here: the
    // session's thread fell too far behind. They were forwarded all the same.
    void skipped(qint64 bytes);
    // An open() that returned while the peer was still being reached has completed.
    void opened();
    // A try to reach a network peer failed for the reason given; the next comes after the pause,
    // or, when it is negative, once the peer has something to give (gpsd without the device).
    void tryFailed(const QString &reason, qint64 nextTryInMs);
    // The device went away while the port was open (adapter unplugged, pseudo-terminal closed).
    // The port is closed when this is raised, and it is raised once per loss. From then on the
    // port looks every second whether the device is there again, until returned, open(), close() or
    // a written setting ends the wait.
    void lost();
    // The port is open again after lost, with the same settings: the same device is back, or a
    // network input's peer.
    void returned();
    // How many clients are connected to a TCP output, whenever that changes.
    void clientsChanged(int count);
    // send() or forwarding dropped this many bytes, whole chunks, oldest first, to keep the
    // backlog bounded.
    void dropped(qint64 bytes);

private:
    void setLifecycle(Lifecycle next);

    template <typename Call> void onIoThread(Call call);
    void traceClosed();
    void tryToReturn();
    void endReturnWait();

    LineSettings m_settings;
    LineSettings m_openedWith; // the settings of the last open() that succeeded
    QString m_portName;
    QString m_namedDevice; // what m_portName means
    QString m_device;      // of the last open()
    QString m_source;
    PortFailure m_failure;
    PortWorker *m_worker; // lives on the I/O thread; deleted there by the destructor
    // Counts the worker's openings: what it raises for an earlier one (chunks read before the
    // last close() or loss, a late loss or opening) is over and is not raised.
    quint64 m_generation = 0;
    Lifecycle m_lifecycle = Lifecycle::Closed;
    qint64 m_droppedBytes = 0;
    QTimer m_returnWatch; // runs while a lost device file is looked for
};
