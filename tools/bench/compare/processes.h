#pragma once

// The processes under test, started and ended from the benchmark's side.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <cmath>

// Asks the process to end, and kills it when it does not.
void endProcess(QProcess &process);

// Starts the process and waits until it holds the device open, as a program that reads a line
// shows it is ready; false when it did not start, ended or took longer than five seconds.
bool startHolding(QProcess &process, const QString &device);

// The X server the window processes show on: a virtual one (Xvfb) where it is installed, so
// that they pay for drawing as on a user's display; offscreen where it is not. Started once, at
// the first window, and ended with the benchmark. Says which on standard output.
class BenchDisplay {
public:
    ~BenchDisplay();
    // The DISPLAY value, empty when the windows run offscreen.
    static QString name();

private:
    BenchDisplay() = default;
    static BenchDisplay &instance();
    QProcess m_server;
    QString m_name;
    bool m_tried = false;
};

// The flag that makes this tool Pelora's window process:
//
//   pelora-bench-compare --child IN_DEVICE OUT_DEVICE INTERVAL [probe]
//
// It creates the real main window, with the real desktop services (the map window's web engine
// among them), on the display above, and works it only through its widgets, found by name, as a
// user would: port lists, "Port aktivieren" buttons and interval options. OUT_DEVICE "-" leaves
// the output port closed. With "probe" it times its event loop and its poll ticks. It prints
// "ready" once the ports are open and "painted" once the window has been painted the first
// time, and answers "mark" (start the figures afresh) and "stop" (print the figures and end) on
// its standard input.
inline constexpr char kWindowChildFlag[] = "--child";
int windowChildMain(int argc, char *argv[]);

// Pelora's window process, and the lines it prints, read as they come.
class WindowChild {
public:
    // probe: times the poll ticks and stalls; sky: opens the Satelliten window.
    bool start(const QString &from, const QString &to, int interval, bool probe, bool sky = false);
    // The next line the child prints, empty when none comes in time.
    QByteArray line(int timeoutMs);
    void send(const char *command);
    qint64 pid() const { return m_process.processId(); }
    void end() { endProcess(m_process); }
    // From the start of the process until its window was first painted.
    double startupMs() const { return m_startupMs; }

private:
    QTemporaryDir m_runtime; // Qt wants a private runtime folder and warns without one
    double m_startupMs = NAN;
    QProcess m_process;
};

// The real program without any window, on the input port only: pelora --headless. It is seen
// from outside only, as the peers are; its trace on standard output goes nowhere.
class HeadlessPelora {
public:
    explicit HeadlessPelora(const QString &program);
    bool start(const QString &from, int interval);
    qint64 pid() const { return m_process.processId(); }
    void end() { endProcess(m_process); }

private:
    QProcess m_process;
};
