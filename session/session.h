#pragma once

#include "io/iothread.h"
#include "io/portcontrol.h"
#include "logic/displaymodel.h"
#include "logic/module1.h"
#include "logic/pollcycle.h"
#include "logic/portfailure.h"
#include "logic/receivelog.h"
#include "logic/sky.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

// A port as its lists describe it, in the texts the user left there: a number, a device path or
// name, or a network address for the port; whole numbers for the line settings. The parity list
// is not among them: the line always runs without parity. The defaults are the window's.
struct PortSettings {
    QString port = QStringLiteral("1");
    QString baudRate = QStringLiteral("4800");
    QString dataBits = QStringLiteral("8");
    QString stopBits = QStringLiteral("1");
};

// What a port's indicator shows.
enum class PortState {
    Untouched, // neither activated nor deactivated yet: red without a caption
    Open,      // data can flow: green "An"
    Waiting,   // active, but its device is away or its peer not reached yet: red "Aus"
    Closed,    // red "Aus"
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
    // The zoom the map address carries, chosen in the map window.
    QString &mapZoom() { return m_module1.mapZoom; }

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

    PortState inputState() const { return m_inputState; }
    PortState outputState() const { return m_outputState; }

    // For tests and benchmarks, which watch and time what the session does.
    PortControl &input() { return m_input; }
    PortControl &output() { return m_output; }
    Module1 &module1() { return m_module1; }
    PollCycle &pollCycle() { return m_pollCycle; }
    QTimer &pollTimer() { return m_pollTimer; }
    // How long links may take and consumers lag; for ports activated from now on.
    void setLinkTimings(const LinkTimings &timings);

signals:
    // The port's indicator changes; detail says, for a port that is not open, what it waits
    // for (empty otherwise).
    void inputStateChanged(PortState state, const QString &detail);
    void outputStateChanged(PortState state, const QString &detail);
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
    PortFailure activate(PortControl &port, const PortControl &other, PortFailure::Cause held,
                         const PortSettings &settings);
    void followPort(PortControl &port);
    void setState(PortControl &port, PortState state, const QString &detail = QString());
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
    QString m_zone = QStringLiteral("+1");
    bool m_summerTime = false;
    IoThread m_ioThread;                                       // before the ports, which live on it
    PortControl m_input{QStringLiteral("CommX1"), m_ioThread}; // reads the receiver
    PortControl m_output{QStringLiteral("CommX2"), m_ioThread}; // passes everything on
    PortState m_inputState = PortState::Untouched;
    PortState m_outputState = PortState::Untouched;
    bool m_outputTooSlowTold = false; // since the output was last activated or came back
    bool m_logFullTold = false;       // since the input was last activated
};
