#include "processes.h"

#include "measure.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include <unistd.h>

using namespace Qt::StringLiterals;

void endProcess(QProcess &process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool startHolding(QProcess &process, const QString &device) {
    process.start();
    if (!process.waitForStarted(5000))
        return false;
    QElapsedTimer waited;
    waited.start();
    while (!holdsOpen(process.processId(), device)) {
        if (process.state() != QProcess::Running || waited.elapsed() > 5000)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

BenchDisplay &BenchDisplay::instance() {
    static BenchDisplay display;
    return display;
}

BenchDisplay::~BenchDisplay() {
    endProcess(m_server);
}

QString BenchDisplay::name() {
    BenchDisplay &d = instance();
    if (std::exchange(d.m_tried, true))
        return d.m_name;
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty()) {
        std::printf(
            "(no Xvfb here: the windows run offscreen, where nothing reaches an X server)\n");
        return {};
    }
    // The first display number nobody holds.
    int number = 90;
    while (QFile::exists(u"/tmp/.X%1-lock"_s.arg(number)) ||
           QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(number)))
        ++number;
    d.m_server.setProgram(u"Xvfb"_s);
    d.m_server.setArguments(
        {u":%1"_s.arg(number), u"-screen"_s, u"0"_s, u"1280x1024x24"_s, u"-nolisten"_s, u"tcp"_s});
    d.m_server.setStandardOutputFile(QProcess::nullDevice());
    d.m_server.setStandardErrorFile(QProcess::nullDevice());
    d.m_server.start();
    d.m_server.waitForStarted(5000);
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(number))) {
        if (d.m_server.state() != QProcess::Running || waited.elapsed() > 10000) {
            std::printf("(Xvfb did not start: the windows run offscreen)\n");
            endProcess(d.m_server);
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    d.m_name = u":%1"_s.arg(number);
    std::printf("(the windows show on Xvfb %s)\n", qPrintable(d.m_name));
    return d.m_name;
}

bool WindowChild::start(const QString &from, const QString &to, int interval, bool probe,
                        bool sky) {
    QStringList args{QString::fromLatin1(kWindowChildFlag), from, to, QString::number(interval)};
    if (probe)
        args << u"probe"_s;
    if (sky)
        args << u"sky"_s;
    m_process.setProgram(QCoreApplication::applicationFilePath());
    m_process.setArguments(args);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString display = BenchDisplay::name();
    if (display.isEmpty()) {
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    } else {
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.insert(u"DISPLAY"_s, display);
    }
    // As a user runs it as root: the web engine refuses to start otherwise.
    if (::geteuid() == 0)
        env.insert(u"QTWEBENGINE_DISABLE_SANDBOX"_s, u"1"_s);
    if (!env.contains(u"XDG_RUNTIME_DIR"_s))
        env.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer started;
    started.start();
    m_process.start();
    const QByteArray first = line(30000);
    const QByteArray second = first == "ready" ? line(30000) : QByteArray();
    if (second != "painted") {
        std::fprintf(stderr, "Pelora did not come up: %s %s\n", first.constData(),
                     second.constData());
        endProcess(m_process);
        return false;
    }
    m_startupMs = started.nsecsElapsed() / 1e6;
    return true;
}

QByteArray WindowChild::line(int timeoutMs) {
    QElapsedTimer waited;
    waited.start();
    while (!m_process.canReadLine()) {
        const int left = std::max(0, timeoutMs - int(waited.elapsed()));
        if (!m_process.waitForReadyRead(left))
            return {};
    }
    return m_process.readLine().trimmed();
}

void WindowChild::send(const char *command) {
    m_process.write(command);
    m_process.write("\n");
    m_process.waitForBytesWritten(5000);
}

HeadlessPelora::HeadlessPelora(const QString &program) {
    m_process.setProgram(program);
    // The trace is what a headless run is for; nobody reads it here, but it is written all the
    // same.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

bool HeadlessPelora::start(const QString &from, int interval) {
    m_process.setArguments(
        {u"--headless"_s, u"--input"_s, from, u"--interval"_s, QString::number(interval)});
    if (startHolding(m_process, from))
        return true;
    std::fprintf(stderr, "%s --headless did not come up: %s\n", qPrintable(m_process.program()),
                 qPrintable(m_process.errorString()));
    endProcess(m_process);
    return false;
}
