#pragma once

#include "io/iothread.h"
#include "io/portcontrol.h"
#include "logic/displaymodel.h"
#include "logic/module1.h"
#include "logic/pollcycle.h"
#include "logic/portfailure.h"
#include "logic/receivelog.h"
#include "logic/settings.h"
#include "logic/sky.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

// A port as its lists describe it, in the texts the user left there: a number, a device path or
// name, or a network address for the port; whole numbers for the line settings. The parity list
// is not among them: the line always runs without parity. The defaults are the window's.
struct PortSettings {
    QString port = QStringLiteral("1");
    QString baudRate = QStringLiteral("4800");
    QString dataBits = QStringLiteral("8");
    QString stopBits = QStringLiteral("1");
};

// The session's two ports.
enum class PortSide { Input, Output };

// What a port's indicator shows.
enum class PortState {
    Untouched, // neither activated nor deactivated yet: red without a caption
    Open,      // data can flow: green "An"
    Waiting,   // active, but its device is away or its peer not reached yet: red "Aus"
    Closed,    // red "Aus"
};

// What the indicator tells beside the state: for an active port that is not open, what it waits
// for (its device, and for a network port the reason the last try failed and when the next one
// comes); for one read through gpsd, gpsd's device. The window words it.
struct PortWait {
    QString device;
    QString reason;                    // empty: nothing more is known
    std::optional<qint64> nextTryInMs; // none: no try is planned, the device is watched for
    // What a peer in between reads (the device gpsd reads), as it last said; empty for a port
    // read directly.
    QString source{};
};

// One monitoring session: the receiver's port and the output port on an I/O thread of their
// own, the receive log every received chunk goes to, the poll cycle whose timer decodes it into
// the display model, and the rules that tie them together. It knows no window: the main window
// binds its widgets to it, and the headless run uses it as it is. Everything here runs on the
// thread that created it.
class Session : public QObject {
    Q_OBJECT
public:
    explicit Session(QObject *parent = nullptr);
    ~Session() override;

    DisplayModel &model() { return m_model; }
    const ReceiveLog &receiveLog() const { return m_log; }
    // Every constellation's satellites and the fix of any talker, from every received chunk.
    const SkyDecoder &sky() const { return m_sky; }
    // The clock the sky's times count on.
    qint64 skyClockMs() const { return m_skyClock.elapsed(); }

    // What the decoders and the local time read whenever they run: "Kontrollsumme prüfen",
    // "Zeitzone" ("+1") and "Sommerzeit". A change shows with the next decode.
    void setChecksumTest(bool on) { m_checksumTest = on; }
    void setZone(const QString &zone) { m_zone = zone; }
    void setSummerTime(bool on) { m_summerTime = on; }
    // The poll interval of an option of the interval group, by its index into kPollIntervals;
    // a running timer goes on at the new interval, a stopped one starts with it.
    void chooseInterval(int option);

    // "Port aktivieren" of the input: starts the poll timer, sets the port up from the lists in
    // their order and opens it. Cause::None when the port is active; otherwise the steps before
    // the failing one stay done, and a port that was open and could not be opened again is
    // closed.
    PortFailure activateInput(const PortSettings &settings);
    // "Port deaktivieren": stops the timer, empties the display, closes the port, then empties
    // the receive log and the type list.
    void deactivateInput();
    PortFailure activateOutput(const PortSettings &settings);
    void deactivateOutput();

    // What tests and benchmarks watch.
    const PortControl &input() const { return m_input.port; }
    const PortControl &output() const { return m_output.port; }
    const Module1 &module1() const { return m_module1; }
    const QTimer &pollTimer() const { return m_pollTimer; }

    // The seam through which tests and benchmarks drive the poll cycle by hand: the decoders,
    // one tick, and the timer held still.
    struct ByHand {
        Module1 &decoders;
        PollCycle &cycle;
        QTimer &timer;
    };
    ByHand byHand() { return {m_module1, m_pollCycle, m_pollTimer}; }
    // For tests: how long links may take, consumers lag and received chunks gather; for ports
    // activated from now on.
    void setLinkTimings(const LinkTimings &timings) {
        m_input.port.setTimings(timings);
        m_output.port.setTimings(timings);
    }

signals:
    // A port's indicator changes; for a port that waits, what it waits for.
    void portStateChanged(PortSide side, PortState state, const PortWait &wait);
    // Clients connected to a TCP output, whenever that changes; -1 when the output is closed.
    void outputClientsChanged(int count);
    // The output dropped data its consumer did not take; once per activation of the output, or
    // return of its device: the consumer stays slow, and it is news only once.
    void outputTooSlow();
    // The receive log is full until the next emptying; once per activation of the input, as a
    // flood fills it in every cycle.
    void receiveLogFull();
    // The sky's satellites or fix changed; at most once per received chunk.
    void skyChanged();

private:
    // One port and what the session knows of it beside the port's own state.
    struct Side {
        Side(PortSide which, const QString &name, IoThread &ioThread, PortFailure::Cause held)
            : which(which)
            , port(name, ioThread)
            , heldByOther(held) {}
        const PortSide which;
        PortControl port;
        bool touched = false; // activated or deactivated once: its indicator shows a state
        // What it means that the other port has the device open.
        const PortFailure::Cause heldByOther;
        // A one-time warning was given since the last activation (or, for the output, return):
        // the receive log full, the output too slow.
        bool told = false;
    };

    PortFailure setUpAndOpen(Side &side, const Side &other, const PortSettings &settings);
    PortFailure activate(Side &side, const Side &other, const PortSettings &settings);
    void deactivate(Side &side);
    void followPort(Side &side);
    void showState(Side &side, const PortWait &wait = {});
    void readSky(const QString &chunk);
    void skyRead();

    DisplayModel m_model;
    ReceiveLog m_log;
    Module1 m_module1;
    PollCycle m_pollCycle;
    QTimer m_pollTimer; // "Timer1"
    SkyDecoder m_sky;
    QElapsedTimer m_skyClock;
    QTimer m_skyAgeing; // wakes when satellites next grow too old
    bool m_checksumTest = false;
    QString m_zone = kDefaultZone.toString();
    bool m_summerTime = false;
    IoThread m_ioThread; // before the ports, which live on it
    Side m_input{PortSide::Input, QStringLiteral("CommX1"), m_ioThread,
                 PortFailure::Cause::HeldByOutput}; // reads the receiver
    Side m_output{PortSide::Output, QStringLiteral("CommX2"), m_ioThread,
                  PortFailure::Cause::HeldByInput}; // passes everything on
};
