// socat relaying, the peer of Pelora's forwarding, on the same lines.
#include "parts.h"
#include "processes.h"
#include "report.h"

#include <cstdio>

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
