#include "processes.h"

#include "measure.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcessEnvironment>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

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
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    if (!env.contains(u"XDG_RUNTIME_DIR"_s))
        env.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    const QByteArray first = line(30000);
    if (first != "ready") {
        std::fprintf(stderr, "Pelora did not come up: %s\n", first.constData());
        endProcess(m_process);
        return false;
    }
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
