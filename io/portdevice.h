#pragma once

#include "io/backlog.h"
#include "logic/portfailure.h"
#include "logic/settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

// The line settings as the session wrote them; the device decides what it can do with them.
struct LineSettings {
    qint32 baudRate = 9600;
    qint32 dataBits = 8;
    qint32 parity = 0; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    qint32 stopBits = 1;
};

// How long a link may take before it is given up, how the pause between tries grows, and how
// long consumers may lag. Tests shorten them; the program uses the defaults.
struct LinkTimings {
    // A TCP connect that has not succeeded by then counts as failed.
    std::chrono::milliseconds connectTimeout{10000};
    // A connected receiver that has sent nothing for this long counts as lost; receivers send
    // every second.
    std::chrono::milliseconds silence{10000};
    // The pause before the next try after one that brought no data; it doubles up to the
    // longest.
    std::chrono::milliseconds firstPause{500};
    std::chrono::milliseconds longestPause{10000};
    // A TCP output client that has taken nothing for this long while bytes wait for it gives up
    // its place when another client wants one.
    std::chrono::milliseconds idleClient{20000};
    BacklogTimings backlog{};
    // Received chunks reach the session's thread together, at most one batch in this time (or
    // sooner once PortWorker::kBatchBytes wait), and at most twice this long after they were
    // read: the session decodes on its poll ticks and shows text in batches anyway, and a
    // wake-up per small chunk costs more than the chunk.
    std::chrono::milliseconds batch{kHandOverMs};
    // A lost device file is looked for this often: a replugged adapter is back within a second
    // or two, and looking more often gains nothing.
    std::chrono::milliseconds returnLook{1000};
};

// What a port reads from and writes to: a serial line (or a pseudo-terminal), a TCP connection
// to a receiver, a TCP server for many clients, or UDP in either direction. Lives on the I/O
// thread and never waits there: opening, applying settings, closing, reading and writing are
// each a few non-blocking system calls.
class PortDevice : public QObject {
    Q_OBJECT
public:
    enum class Opening {
        Yes,
        No,
        Refused, // it opened, then refused a setting and was closed again
        Pending, // active, and opens by itself once the peer answers (opened() is raised then)
    };

    explicit PortDevice(const LinkTimings &timings, QObject *parent = nullptr)
        : QObject(parent)
        , m_timings(timings) {}

    // Opens the device; when that device is open already, applies the settings in place, so
    // that no received byte is dropped. The network devices ignore the line settings.
    virtual Opening open(const QString &device, const LineSettings &settings) = 0;
    // Closes without waiting for unwritten bytes; they are dropped.
    virtual void close() = 0;
    // Whether data can flow now: a line is open, a peer connected, a server listening.
    virtual bool isOpen() const = 0;
    // Why the last open failed, the last try did, or the device went away, in terms the user
    // is told.
    virtual PortFailure failure() const = 0;

    // What was received since the last call, empty when nothing waits; called until empty.
    virtual QByteArray read() { return {}; }
    // Whether the sender waits while read() is not called (a pseudo-terminal, a TCP peer): the
    // device's own buffer fills up to kReadBufferSize, then the system's, then the sender
    // waits. A serial line and UDP lose bytes instead.
    virtual bool canWait() const { return false; }
    static constexpr qint64 kReadBufferSize = 64 * 1024;

    // Queues a chunk for the peer or peers and never waits. True when the chunk's source should
    // wait (if sourceCanWait) because a consumer that keeps reading is far behind; see Backlog.
    virtual bool write(const QByteArray &chunk, bool sourceCanWait) = 0;
    // Whether a consumer still keeps the source waiting; consumers that have stopped meanwhile
    // lose their oldest bytes here instead.
    virtual bool holdsSource() { return false; }
    // When holdsSource() must be asked again although nothing happens.
    virtual std::optional<Backlog::Clock::time_point> reviewAt() const { return std::nullopt; }
    // Bytes waiting in the fullest backlog.
    virtual qint64 waitingBytes() const { return 0; }
    // The port a network device listens or is bound on, as the system chose it for port 0.
    virtual quint16 localPort() const { return 0; }
    // What the peer reads the bytes from, where one stands between (gpsd's device); empty else.
    virtual QString source() const { return {}; }

    const LinkTimings &timings() const { return m_timings; }

signals:
    void readyRead();
    // A pending open has completed: connected, or the name looked up.
    void opened();
    // The device went away while open; it is closed when this is raised, once per loss.
    void lost();
    // The peer went away or fell silent, but the device stays active and tries again; opened()
    // follows once it is back.
    void interrupted();
    // A try to reach the peer failed (failure() says why); the next comes after the pause.
    void tryFailed(std::chrono::milliseconds nextTryIn);
    // The peer is reached but has nothing to give (failure() says why), and no try is planned:
    // opened() follows once it has.
    void waiting();
    void dropped(qint64 bytes);
    // A consumer took bytes: a backlog has shrunk.
    void progressed();
    // Clients connected to a listening device, whenever that changes.
    void clients(int count);
    // A client turned away because too many are connected.
    void refused(const QString &peer);

private:
    LinkTimings m_timings;
};
