// Streams a receiver log through the input pseudo-terminal into a real main window, with the
// output port forwarding to a second pair, and prints what the window's thread spent on it.
//
//   pelora-bench-serial [--log FILE] [--seconds S] [--rate BYTES_PER_S] [--interval MS]
//
// --rate 0 (the default) writes as fast as the program takes the bytes. The receiver and the
// consuming program are threads of this tool; only the window's thread is charged.
#include "benchsupport.h"
#include "logic/pollcycle.h"
#include "ptypair.h"
#include "rawline.h"
#include "session/session.h"
#include "testdesktop.h"
#include "windows/form1.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <sys/resource.h>
#include <time.h>

using namespace Qt::StringLiterals;

namespace {

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The receiver: writes the log over and over, paced when a rate is given.
void feed(int fd, const QByteArray log, qint64 rate, const std::atomic<bool> &stop,
          std::atomic<qint64> &written) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    qsizetype at = 0;
    while (!stop) {
        qsizetype piece = qMin<qsizetype>(4096, log.size() - at);
        if (rate > 0) {
            const double due = std::chrono::duration<double>(Clock::now() - start).count() * rate;
            const qint64 ahead = written - qint64(due);
            if (ahead >= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            piece = qMin<qsizetype>(piece, -ahead);
        }
        const ssize_t n = ::write(fd, log.constData() + at, size_t(piece));
        if (n <= 0)
            break;
        written += n;
        at = (at + n) % log.size();
    }
}

} // namespace

int main(int argc, char *argv[]) {
    preferOffscreen();
    QApplication app(argc, argv);
    QCommandLineParser options;
    parseOptions(
        options, app,
        u"Streams a receiver log through a pseudo-terminal pair into the main window, "
        "forwarding to a second pair, and prints what the window's thread spent."_s,
        {
            logOption(u"Receiver log to stream."_s),
            {u"seconds"_s, u"How long to stream."_s, u"s"_s, u"10"_s},
            {u"rate"_s, u"Bytes per second, 0 for as fast as taken."_s, u"bytes"_s, u"0"_s},
            {u"interval"_s, u"Poll interval: %1 ms."_s.arg(pollIntervalChoices()), u"ms"_s,
             QString::number(kPollIntervals.back())},
        });
    const QByteArray log = readReceiverText(options.value(u"log"_s));
    if (log.isEmpty())
        return 1;
    const double seconds = options.value(u"seconds"_s).toDouble();
    const qint64 rate = options.value(u"rate"_s).toLongLong();

    PtyPair input;
    PtyPair output;
    if (!startPairs(input, output))
        return 1;
    Session session;
    // Map addresses are built as usual but not loaded: the figures are the program's, not the
    // network's or the web engine's.
    TestDesktop desktop;
    Form1 form(session, desktop.services());
    form.show();
    if (!startSession(session, options.value(u"interval"_s).toInt(), {.port = input.second()},
                      PortSettings{.port = output.first()}))
        return 1;

    // Time every tick: the timer calls the same handler, through a stopwatch.
    QTimer &pollTimer = session.byHand().timer;
    QObject::disconnect(&pollTimer, &QTimer::timeout, &session, nullptr);
    double longestTick = 0;
    qsizetype bufferAtLongest = 0;
    qsizetype largestBuffer = 0;
    int ticks = 0;
    QObject::connect(&pollTimer, &QTimer::timeout, &session, [&] {
        const qsizetype buffered = session.receiveLog().size();
        largestBuffer = qMax(largestBuffer, buffered);
        QElapsedTimer stopwatch;
        stopwatch.start();
        session.byHand().cycle.PollTick();
        const double duration = stopwatch.nsecsElapsed() / 1e6;
        if (duration > longestTick) {
            longestTick = duration;
            bufferAtLongest = buffered;
        }
        ++ticks;
    });
    qint64 received = 0;
    QObject::connect(&session.input(), &PortControl::dataReceived, &session,
                     [&](const QString &chunk) { received += chunk.size(); });

    const int feedFd = openRaw(input.first());
    const int drainFd = openRaw(output.second());
    std::atomic<bool> stopFeeding = false;
    std::atomic<bool> stopDraining = false;
    std::atomic<qint64> written = 0;
    std::atomic<qint64> forwarded = 0;
    std::thread receiver(feed, feedFd, log, rate, std::cref(stopFeeding), std::ref(written));
    std::thread consumer(drain, drainFd, std::cref(stopDraining), std::ref(forwarded));

    const double cpuStart = threadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(int(seconds * 1000), &session, [&] { stopFeeding = true; });
    // After the feed stops, wait until what is on its way has arrived and been sent on.
    QTimer settle;
    qint64 lastReceived = -1;
    QObject::connect(&settle, &QTimer::timeout, &session, [&] {
        // Bytes the output dropped to keep its backlog bounded will never arrive.
        if (stopFeeding && received == lastReceived &&
            forwarded + session.output().droppedBytes() == received)
            app.quit();
        lastReceived = received;
    });
    settle.start(300);
    app.exec();
    const double elapsed = wall.nsecsElapsed() / 1e9;
    const double cpu = threadCpuSeconds() - cpuStart;
    stopDraining = true;
    ::close(feedFd); // unblocks a receiver still writing
    receiver.join();
    consumer.join();
    ::close(drainFd);

    // Two ticks over everything received so far: an ordinary one, and the one of each cycle
    // that also rebuilds the type list.
    auto timedTick = [&session](qint16 count) {
        session.byHand().decoders.tickCount = count;
        QElapsedTimer stopwatch;
        stopwatch.start();
        session.byHand().cycle.PollTick();
        return stopwatch.nsecsElapsed() / 1e6;
    };
    const double ordinaryTick = timedTick(5);
    const double rebuildTick = timedTick(PollCycle::kListTick);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double mb = received / 1e6;
    std::printf("log                      %s (%lld bytes)\n", qPrintable(options.value(u"log"_s)),
                qlonglong(log.size()));
    std::printf("poll interval            %d ms, rate %s\n", pollTimer.interval(),
                rate > 0 ? qPrintable(QString::number(rate) + u" B/s"_s) : "unthrottled");
    std::printf("streamed                 %.1f s\n", elapsed);
    std::printf("received                 %lld bytes, %.0f KB/s\n", qlonglong(received),
                received / elapsed / 1e3);
    std::printf("forwarded                %lld bytes, %.0f KB/s\n", qlonglong(forwarded.load()),
                forwarded / elapsed / 1e3);
    std::printf("dropped by the output    %lld bytes\n",
                qlonglong(session.output().droppedBytes()));
    std::printf("receive buffer at end    %.1f MB\n", session.receiveLog().size() / 1e6);
    std::printf("window thread CPU        %.2f s, %.1f %% of one core, %.3f s per MB\n", cpu,
                100 * cpu / elapsed, mb > 0 ? cpu / mb : 0.0);
    std::printf("ticks                    %d, longest %.2f ms (buffer %.1f MB), largest buffer "
                "%.1f MB\n",
                ticks, longestTick, bufferAtLongest / 1e6, largestBuffer / 1e6);
    std::printf("ticks over the whole buffer: %.2f ms, %.2f ms with the type list\n", ordinaryTick,
                rebuildTick);
    std::printf("peak RSS                 %.0f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
