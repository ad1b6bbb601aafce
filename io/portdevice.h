#pragma once

#include "logic/portfailure.h"

#include <QObject>
#include <QString>

class QIODevice;

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
    virtual Opened open(const QString &device, const LineSettings &settings) = 0;
    // Closes without waiting for unwritten bytes; they are dropped.
    virtual void close() = 0;
    // Reading and writing, with readyRead and bytesWritten.
    virtual QIODevice &io() = 0;
    // Why the last open failed or the device went away, in terms the user is told.
    virtual PortFailure failure() const = 0;

signals:
    // The device went away while open; it is closed when this is raised, once per loss.
    void lost();
};
