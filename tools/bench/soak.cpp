// A long run: the simulated receiver, with faults injected, streams at 115200 baud into a real
// main window that polls at its shortest interval and forwards to a second pair whose far end is
// read. Every sample period it records memory and the receive buffer, and at the end prints the
// table. Memory should rise only within the buffer's own cycle, never from cycle to cycle.
//
//   pelora-bench-soak [--minutes N] [--sample-seconds S] [--baud B] [--sim PATH]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. Map addresses are built as usual but not
// loaded: the figures are the program's, not the web engine's.
#include "benchsupport.h"
#include "logic/pollcycle.h"
#include "ptypair.h"
#include "rawline.h"
#include "session/session.h"
#include "ui_form1.h"
#include "windows/form1.h"
#include "windows/logview.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <malloc.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Resident set size from the kernel, in bytes.
qint64 residentBytes() {
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

// Bytes the allocator has handed out and not got back: unlike the resident size it falls again
// when memory is freed, so a leak shows here first.
qint64 heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

class CountingLoader : public PageLoader {
public:
    explicit CountingLoader(int &loads)
        : m_loads(loads) {}
    void load(const MapRequest &) override { ++m_loads; }

private:
    int &m_loads;
};

struct Sample {
    double minutes = 0;
    qint64 rss = 0;
    qint64 heap = 0;
    qsizetype buffer = 0;
    qsizetype largestBuffer = 0; // since the previous sample
    int viewLines = 0;
    qint64 received = 0;
    qint64 forwarded = 0;
    qint64 dropped = 0;
    int ticks = 0;
    int cleared = 0;
    QString time; // the UTC time field, to see that decoding goes on
};

void printSample(const Sample &s) {
    std::printf("%6.1f %8.1f %8.1f %8.1f %8.1f %6d %9.2f %9.2f %8lld %7d %6d  %s\n", s.minutes,
                s.rss / 1e6, s.heap / 1e6, s.buffer / 1e3, s.largestBuffer / 1e3, s.viewLines,
                s.received / 1e6, s.forwarded / 1e6, qlonglong(s.dropped), s.ticks, s.cleared,
                qPrintable(s.time));
    std::fflush(stdout);
}

void printHeader() {
    std::printf("%6s %8s %8s %8s %8s %6s %9s %9s %8s %7s %6s  %s\n", "min", "RSS MB", "heap MB",
                "buf KB", "max KB", "lines", "recv MB", "fwd MB", "dropped", "ticks", "cycles",
                "UTC time");
}

} // namespace

int main(int argc, char *argv[]) {
    preferOffscreen();
    QApplication app(argc, argv);
    QCommandLineParser options;
    parseOptions(
        options, app,
        u"Runs the simulated receiver with faults into the main window at the shortest "
        "poll interval and prints memory and the receive buffer every sample period."_s,
        {
            {u"minutes"_s, u"How long to run (default 30)."_s, u"n"_s, u"30"_s},
            {u"sample-seconds"_s, u"Seconds between samples (default 60)."_s, u"s"_s, u"60"_s},
            {u"baud"_s, u"Line speed of the simulated receiver (default 115200)."_s, u"rate"_s,
             u"115200"_s},
            {u"sim"_s, u"The simulator to run."_s, u"path"_s, QStringLiteral(PELORA_SIM_PATH)},
        });
    const double minutes = options.value(u"minutes"_s).toDouble();
    const int sampleMs = qMax(1, int(options.value(u"sample-seconds"_s).toDouble() * 1000));

    // Ten epochs a second, with garbage, bad checksums and cut sentences mixed in.
    QProcess sim;
    sim.setProgram(options.value(u"sim"_s));
    sim.setArguments({u"--baud"_s, options.value(u"baud"_s), u"--hz"_s, u"10"_s,
                      u"--garbage-every"_s, u"7"_s, u"--bad-checksum-every"_s, u"5"_s,
                      u"--cut-every"_s, u"11"_s, u"--seed"_s, u"1"_s});
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start();
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "%s did not start\n", qPrintable(sim.program()));
        return 1;
    }
    const QString receiverPath = QString::fromLocal8Bit(sim.readLine().trimmed());
    QObject::connect(&sim, &QProcess::readyReadStandardOutput, &sim, [&sim] { sim.readAll(); });

    PtyPair output;
    if (!output.start()) {
        std::fprintf(stderr, "socat: %s\n", qPrintable(output.error()));
        return 1;
    }

    int mapLoads = 0;
    Desktop desktop;
    desktop.openUrl = [](const QString &) { return true; };
    desktop.startProgram = [](const QString &) { return false; };
    desktop.makePageLoader = [&mapLoads](QWidget *) {
        return std::make_unique<CountingLoader>(mapLoads);
    };
    Session session;
    Form1 form(session, desktop);
    form.show();
    // A pseudo-terminal takes any speed; with --baud 0 the ports still need a valid one.
    const QString baudRate =
        options.value(u"baud"_s).toInt() > 0 ? options.value(u"baud"_s) : u"115200"_s;
    if (!startSession(session, kPollIntervals.front(), {.port = receiverPath, .baudRate = baudRate},
                      PortSettings{.port = output.first(), .baudRate = baudRate}))
        return 1;

    const int drainFd = openRaw(output.second());
    std::atomic<bool> stopDraining = false;
    std::atomic<qint64> forwarded = 0;
    std::thread consumer(drain, drainFd, std::cref(stopDraining), std::ref(forwarded));

    qint64 received = 0;
    QObject::connect(&session.input(), &PortControl::dataReceived, &session,
                     [&received](const QString &chunk) { received += chunk.size(); });
    int ticks = 0;
    int cycles = 0;
    qsizetype largestBuffer = 0;
    // The largest buffer of a cycle is the one the tick before the emptying leaves.
    QObject::connect(&session.pollTimer(), &QTimer::timeout, &session, [&] {
        largestBuffer = qMax(largestBuffer, session.receiveLog().size());
        ++ticks;
        if (session.module1().tickCount == 0)
            ++cycles;
    });

    std::vector<Sample> samples;
    QElapsedTimer wall;
    wall.start();
    auto takeSample = [&] {
        Sample s;
        s.minutes = wall.elapsed() / 60000.0;
        s.rss = residentBytes();
        s.heap = heapInUse();
        s.buffer = session.receiveLog().size();
        s.largestBuffer = largestBuffer;
        s.viewLines = int(form.ui().Text1->lineCount());
        s.received = received;
        s.forwarded = forwarded;
        s.dropped = session.output().droppedBytes();
        s.ticks = ticks;
        s.cleared = cycles;
        s.time = session.model().utcTime.text();
        largestBuffer = 0;
        samples.push_back(s);
        printSample(s);
    };
    std::printf("receiver %s, output %s, poll interval %d ms\n", qPrintable(receiverPath),
                qPrintable(output.first()), session.pollTimer().interval());
    printHeader();
    takeSample();
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &session, takeSample);
    sampler.start(sampleMs);
    QTimer::singleShot(qint64(minutes * 60000), &app, [&] {
        if (wall.elapsed() - qint64(samples.back().minutes * 60000) > 1000)
            takeSample();
        app.quit();
    });
    QObject::connect(&sim, &QProcess::finished, &app, [&] {
        std::fprintf(stderr, "the simulator stopped early\n");
        app.quit();
    });
    app.exec();
    // Before the simulator ends: its end takes the input's device away.
    const bool inputOpen = session.input().isOpen();
    const bool outputOpen = session.output().isOpen();

    QObject::disconnect(&sim, nullptr, &app, nullptr);
    sim.terminate();
    sim.waitForFinished(5000);
    stopDraining = true;
    consumer.join();
    ::close(drainFd);

    std::printf("\nsoak of %.1f min at %s baud, faults: garbage every 7, bad checksum every 5, cut "
                "every 11 sentences\n",
                wall.elapsed() / 60000.0, qPrintable(options.value(u"baud"_s)));
    printHeader();
    for (const Sample &s : samples)
        printSample(s);
    // The first sample is taken before anything arrived; the second is the first one in the
    // steady state, after the first buffer cycles and the first map address.
    if (samples.size() > 2) {
        const Sample &settled = samples[1];
        qint64 rssLow = settled.rss, rssHigh = settled.rss;
        qint64 heapLow = settled.heap, heapHigh = settled.heap;
        for (std::size_t i = 1; i < samples.size(); ++i) {
            rssLow = qMin(rssLow, samples[i].rss);
            rssHigh = qMax(rssHigh, samples[i].rss);
            heapLow = qMin(heapLow, samples[i].heap);
            heapHigh = qMax(heapHigh, samples[i].heap);
        }
        std::printf("after the first sample: RSS %.1f to %.1f MB (end - first %+.2f MB), heap in "
                    "use %.2f to %.2f MB (end - first %+.3f MB)\n",
                    rssLow / 1e6, rssHigh / 1e6, (samples.back().rss - settled.rss) / 1e6,
                    heapLow / 1e6, heapHigh / 1e6, (samples.back().heap - settled.heap) / 1e6);
    }
    std::printf("map addresses built %d, input port %s, output port %s\n", mapLoads,
                inputOpen ? "open" : "CLOSED", outputOpen ? "open" : "CLOSED");
    return 0;
}
