#pragma once

#include "logic/portfailure.h"

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QString>

// The line settings as the window wrote them; the device decides what it can do with them.
struct LineSettings {
    qint32 baudRate = 9600;
    qint32 dataBits = 8;
    qint32 parity = 0; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    qint32 stopBits = 1;
};

// What a port reads from and writes to: a serial line, and later network endpoints behind the
// same few calls. Lives on the I/O thread and never waits there: opening, applying settings,
// closing, reading and writing are each a few non-blocking system calls.
class PortDevice : public QObject {
    Q_OBJECT
public:
    enum class Opened {
        Yes,
        No,
        Refused, // it opened, then refused a setting and was closed again
    };

    using QObject::QObject;

    // Opens the device; when that device is open already, applies the settings in place, so
    // that no received byte is dropped.
    // The network ports ignore the line settings.
    virtual Opened open(const QString &device, const LineSettings &settings) = 0;
    // Closes without waiting for unwritten bytes; they are dropped.
    virtual void close() = 0;
    // Reading and writing, with readyRead and bytesWritten.
    virtual QIODevice &io() = 0;
    // Why the last open failed or the device went away, in terms the user is told.
    virtual PortFailure failure() const = 0;

    // Network ports: connected, listening or bound. Non-const because io() is.
    virtual bool isOpen() { return io().isOpen(); }
    // What was received since the last call, empty when nothing waits; called until empty.
    virtual QByteArray readAvailable();
    // A device that writes to many peers, or in datagrams, keeps its own backlogs: it is given
    // each chunk through write() instead of io(), and reports what it drops by dropped().
    virtual bool takesChunks() const { return false; }
    virtual void write(const QByteArray &chunk) { Q_UNUSED(chunk) }
    // Bytes waiting in the fullest of those backlogs.
    virtual qint64 backlog() const { return 0; }
    // The port a network device listens or is bound on, as the system chose it for port 0.
    virtual quint16 localPort() const { return 0; }

signals:
    // The device went away while open; it is closed when this is raised, once per loss.
    void lost();
    // The peer went away, but the device stays active and tries again; returned() follows once
    // it is back. Each is raised once per change.
    void interrupted();
    void returned();
    void dropped(qint64 bytes);
    // A backlog kept by the device itself has shrunk.
    void backlogChanged();
    // Clients connected to a listening device, whenever that changes.
    void clients(int count);
    // A client turned away because too many are connected.
    void refused(const QString &peer);
};

inline QByteArray PortDevice::readAvailable() {
    return io().readAll();
}
