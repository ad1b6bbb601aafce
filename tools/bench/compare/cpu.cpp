// CPU per MB of gpsd reading, Pelora's window and Pelora's headless run, all three at the same
// time, each on an input line of its own that gets the same paced text at the same moments. Taking
// turns let a virtual machine's noisy neighbours decide the ratio (gpsd alone measured 0.08 to
// 1.1 s per MB from one turn to the next); side by side, the three share whatever the machine does.
#include "benchsupport.h"
#include "parts.h"
#include "processes.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <vector>

#include <unistd.h>

using namespace Qt::StringLiterals;

void runCpu(const Context &context, Figures &figures) {
    std::printf("\nCPU: %.0f KB/s for %.0f s, input port only, poll interval %d ms; gpsd -N -n -b, "
                "Pelora's window and Pelora --headless side by side\n",
                Context::kCpuRate / 1e3, context.cpuPartSeconds, Context::kPollInterval);
    std::fflush(stdout);
    PtyPair lines[3];
    for (PtyPair &line : lines) {
        if (!line.start()) {
            std::fprintf(stderr, "no pseudo-terminal pair: %s\n", qPrintable(line.error()));
            return;
        }
    }

    const QString socket = QDir::temp().filePath(u"pelora-bench-gpsd-%1.sock"_s.arg(getpid()));
    QProcess gpsd;
    gpsd.setProgram(u"gpsd"_s);
    // Its own control socket and port, so that a system gpsd is no matter.
    gpsd.setArguments({u"-N"_s, u"-n"_s, u"-b"_s, u"-F"_s, socket, u"-S"_s,
                       QString::number(freeTcpPort()), lines[0].second()});
    gpsd.setProcessChannelMode(QProcess::MergedChannels);
    WindowChild window;
    HeadlessPelora headless(context.peloraProgram);
    if (!startHolding(gpsd, lines[0].second())) {
        std::fprintf(stderr, "gpsd did not run: %s %s\n", qPrintable(gpsd.errorString()),
                     gpsd.readAll().constData());
    } else if (window.start(lines[1].second(), u"-"_s, Context::kPollInterval, false) &&
               headless.start(lines[2].second(), Context::kPollInterval)) {
        const std::vector<double> perMb =
            cpuPerMb({{"gpsd", gpsd.processId(), lines[0].first()},
                      {"window", window.pid(), lines[1].first()},
                      {"headless", headless.pid(), lines[2].first()}},
                     context.text, Context::kCpuRate, context.cpuPartSeconds);
        if (gpsd.state() == QProcess::Running) {
            figures.gpsdCpu = perMb[0];
            figures.windowCpu = perMb[1];
            figures.headlessCpu = perMb[2];
        } else {
            std::fprintf(stderr, "gpsd ended: %s\n", gpsd.readAll().constData());
        }
    }
    headless.end();
    window.end();
    endProcess(gpsd);
    QFile::remove(socket);
}

void runSky(const Context &context, Figures &figures) {
    const QString log = context.logFolder + u"/ublox-zed-f9p-nmea.log"_s;
    const QByteArray text = readReceiverText(log);
    if (text.isEmpty())
        return;
    std::printf("\nSky: %.0f KB/s of %s for %.0f s, two main windows side by side, one with the "
                "Satelliten window open\n",
                Context::kCpuRate / 1e3, "ublox-zed-f9p-nmea.log", context.cpuPartSeconds);
    std::fflush(stdout);
    PtyPair lines[2];
    for (PtyPair &line : lines) {
        if (!line.start()) {
            std::fprintf(stderr, "no pseudo-terminal pair: %s\n", qPrintable(line.error()));
            return;
        }
    }
    WindowChild closed;
    WindowChild open;
    if (closed.start(lines[0].second(), u"-"_s, Context::kPollInterval, false) &&
        open.start(lines[1].second(), u"-"_s, Context::kPollInterval, false, true)) {
        const std::vector<double> perMb = cpuPerMb(
            {{"closed", closed.pid(), lines[0].first()}, {"open", open.pid(), lines[1].first()}},
            text, Context::kCpuRate, context.cpuPartSeconds);
        figures.skyClosedCpu = perMb[0];
        figures.skyOpenCpu = perMb[1];
    }
    open.end();
    closed.end();
}
