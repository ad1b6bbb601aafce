// The peers Pelora is compared with, on the same lines: socat relaying, gpsd reading.
#include "parts.h"
#include "processes.h"
#include "report.h"

#include <QDir>
#include <QFile>

#include <cstdio>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool startSocatRelay(QProcess &relay, const QString &from, const QString &to) {
    relay.setProgram(u"socat"_s);
    // One way only, as Pelora forwards; raw on both ends, as Pelora's ports.
    relay.setArguments({u"-d"_s, u"-d"_s, u"-u"_s, u"open:%1,raw,echo=0"_s.arg(from),
                        u"open:%1,raw,echo=0"_s.arg(to)});
    relay.setReadChannel(QProcess::StandardError);
    relay.start();
    if (!relay.waitForStarted(5000))
        return false;
    QByteArray log;
    while (!log.contains("starting data transfer loop")) {
        if (!relay.waitForReadyRead(5000)) {
            std::fprintf(stderr, "socat relay did not come up: %s\n", log.constData());
            endProcess(relay);
            return false;
        }
        log += relay.readAllStandardError();
    }
    return true;
}

} // namespace

void runSocat(const Context &context, Figures &figures) {
    std::printf("\nsocat relay (socat -u open:IN,raw,echo=0 open:OUT,raw,echo=0)\n");
    std::fflush(stdout);
    QProcess relay;
    context.fresh();
    if (!startSocatRelay(relay, context.input.second(), context.output.first()))
        return;
    figures.socatLatency = measureLatency(context.input.first(), context.output.second(),
                                          context.sentences, context.sentenceCount);
    printLatency("latency", figures.socatLatency);
    figures.socatFlood =
        measureFlood(context.input.first(), context.output.second(), context.floodData, true);
    const double hwm = statusMb(relay.processId(), "VmHWM");
    printFlood("flood", figures.socatFlood, context.floodBytes);
    std::printf("  peak resident memory %.1f MB\n", hwm);
    endProcess(relay);
}

void runGpsd(const Context &context, Figures &figures) {
    std::printf("\ngpsd reading (gpsd -N -n -b), %.0f KB/s for %.0f s\n", Context::kCpuRate / 1e3,
                context.cpuPartSeconds);
    std::fflush(stdout);
    const QString socket = QDir::temp().filePath(u"pelora-bench-gpsd-%1.sock"_s.arg(getpid()));
    QProcess gpsd;
    gpsd.setProgram(u"gpsd"_s);
    // Its own control socket and port, so that a system gpsd is no matter.
    gpsd.setArguments({u"-N"_s, u"-n"_s, u"-b"_s, u"-F"_s, socket, u"-S"_s,
                       QString::number(freeTcpPort()), context.input.second()});
    gpsd.setProcessChannelMode(QProcess::MergedChannels);
    context.fresh();
    if (startHolding(gpsd, context.input.second())) {
        figures.gpsdCpu = cpuPerMb("cpu", gpsd.processId(), context.input.first(), context.text,
                                   Context::kCpuRate, context.cpuPartSeconds);
        if (gpsd.state() != QProcess::Running)
            figures.gpsdCpu.reset();
    }
    if (!figures.gpsdCpu)
        std::fprintf(stderr, "gpsd did not run: %s %s\n", qPrintable(gpsd.errorString()),
                     gpsd.readAll().constData());
    endProcess(gpsd);
    QFile::remove(socket);
}
