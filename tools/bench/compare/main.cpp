// Pelora side by side with its peers: the same recorded receiver text through the same two
// pseudo-terminal pairs: socat relaying from one pair to the other, then Pelora; for CPU, gpsd
// and Pelora reading side by side. Pelora runs as separate processes, so that CPU and memory are
// taken from outside exactly as for the peers: its main window (this tool again, see
// kWindowChildFlag) and the real program without any window.
//
//   pelora-bench-compare [--only socat,pelora,cpu,limits,sky] [--seconds S] [--mb MB]
//                        [--hold-mb MB] [--stalled-mb MB] [--burst-mb MB]
//                        [--sentences N] [--log FILE] [--pelora PATH]
#include "benchsupport.h"
#include "parts.h"
#include "processes.h"
#include "repeat.h"
#include "report.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The one given, else one next to this tool, else the build's.
QString peloraProgram(const QCommandLineParser &options) {
    if (options.isSet(u"pelora"_s))
        return options.value(u"pelora"_s);
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(u"pelora"_s);
    return QFileInfo(beside).isExecutable() ? beside : options.value(u"pelora"_s);
}

} // namespace

int main(int argc, char *argv[]) {
    if (argc > 1 && qstrcmp(argv[1], kWindowChildFlag) == 0)
        return windowChildMain(argc, argv);

    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    parseOptions(
        options, app,
        u"Pelora side by side with socat (relay) and gpsd (reader) on the same pseudo-terminals "
        "and the same recorded receiver text. Ratios are Pelora/peer."_s,
        {
            {u"only"_s,
             u"Parts to run, comma-separated: socat, pelora, cpu, limits, sky (default all)."_s,
             u"parts"_s, u"socat,pelora,cpu,limits,sky"_s},
            {u"stalled-mb"_s,
             u"Megabytes of one-line chunks for a stalled TCP client (default 3)."_s, u"MB"_s,
             u"3"_s},
            {u"burst-mb"_s, u"Megabytes of random bytes from a network receiver (default 200)."_s,
             u"MB"_s, u"200"_s},
            {u"seconds"_s, u"Seconds of the CPU part at 100 KB/s (default 30)."_s, u"s"_s, u"30"_s},
            {u"mb"_s, u"Megabytes of the flood (default 8)."_s, u"MB"_s, u"8"_s},
            {u"hold-mb"_s,
             u"Megabytes written into Pelora's receive log for the stall part; it holds at most "
             "8.4 (default 8.4, full)."_s,
             u"MB"_s, u"8.4"_s},
            {u"sentences"_s, u"Sentences of the latency part (default 1500)."_s, u"n"_s, u"1500"_s},
            logOption(u"Recorded receiver log, repeated as needed."_s),
            {u"pelora"_s,
             u"The program whose headless run is measured for CPU (default: pelora next to this "
             "tool, else the build's)."_s,
             u"path"_s, QStringLiteral(PELORA_PROGRAM)},
        });
    const QStringList parts = options.value(u"only"_s).split(u',', Qt::SkipEmptyParts);

    Context context;
    context.text = readReceiverText(options.value(u"log"_s));
    context.sentences = sentencesOf(context.text);
    if (context.sentences.isEmpty()) {
        std::fprintf(stderr, "no sentences in %s\n", qPrintable(options.value(u"log"_s)));
        return 1;
    }
    context.sentenceCount = options.value(u"sentences"_s).toInt();
    context.floodBytes = qint64(options.value(u"mb"_s).toDouble() * 1e6);
    context.floodData = repeatTo(context.text, context.floodBytes);
    context.cpuPartSeconds = options.value(u"seconds"_s).toDouble();
    context.holdBytes = qint64(options.value(u"hold-mb"_s).toDouble() * 1e6);
    context.stalledBytes = qint64(options.value(u"stalled-mb"_s).toDouble() * 1e6);
    context.burstBytes = qint64(options.value(u"burst-mb"_s).toDouble() * 1e6);
    context.burstMb = options.value(u"burst-mb"_s);
    context.peloraProgram = peloraProgram(options);
    context.logFolder = QFileInfo(options.value(u"log"_s)).absolutePath();
    if (!startPairs(context.input, context.output))
        return 1;

    double load[3] = {};
    getloadavg(load, 3);
    std::printf("pelora-bench-compare: %s without comments (%lld bytes, %lld sentences), "
                "%ld cores, load average %.2f\n",
                qPrintable(QFileInfo(options.value(u"log"_s)).fileName()),
                qlonglong(context.text.size()), qlonglong(context.sentences.size()),
                sysconf(_SC_NPROCESSORS_ONLN), load[0]);
    std::printf("lines: receiver -> %s ~ %s -> relay -> %s ~ %s -> consumer\n",
                qPrintable(context.input.first()), qPrintable(context.input.second()),
                qPrintable(context.output.first()), qPrintable(context.output.second()));
    std::fflush(stdout);

    Figures figures;
    if (parts.contains(u"socat"_s))
        runSocat(context, figures);
    if (parts.contains(u"pelora"_s))
        runPelora(context, figures);
    if (parts.contains(u"cpu"_s))
        runCpu(context, figures);
    if (parts.contains(u"limits"_s))
        runLimits(context, figures);
    if (parts.contains(u"sky"_s))
        runSky(context, figures);
    printTable(context, figures);
    return 0;
}
