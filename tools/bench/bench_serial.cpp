// Streams a receiver log through the input pseudo-terminal into a real main window, with the
// output port forwarding to a second pair, and prints what the window's thread spent on it.
//
//   pelora-bench-serial [--log FILE] [--seconds S] [--rate BYTES_PER_S] [--interval MS]
//
// --rate 0 (the default) writes as fast as the program takes the bytes. The receiver and the
// consuming program are threads of this tool; only the window's thread is charged.
#include "ptypair.h"
#include "rawline.h"
#include "testdesktop.h"
#include "ui_form1.h"
#include "windows/form1.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser options;
    options.addHelpOption();
    options.addOptions({
        {u"log"_s, u"Receiver log to stream."_s, u"file"_s,
         QStringLiteral(PELORA_TESTDATA "/gpsdf.log")},
        {u"seconds"_s, u"How long to stream."_s, u"s"_s, u"10"_s},
        {u"rate"_s, u"Bytes per second, 0 for as fast as taken."_s, u"bytes"_s, u"0"_s},
        {u"interval"_s, u"Poll interval: 200, 500, 800, 1000 or 5000 ms."_s, u"ms"_s, u"5000"_s},
    });
    options.process(app);
    QFile file(options.value(u"log"_s));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
        return 1;
    }
    const QByteArray log = file.readAll();
    const double seconds = options.value(u"seconds"_s).toDouble();
    const qint64 rate = options.value(u"rate"_s).toLongLong();
    const int interval = options.value(u"interval"_s).toInt();

    PtyPair input;
    PtyPair output;
    if (!input.start() || !output.start()) {
        std::fprintf(stderr, "socat: %s%s\n", qPrintable(input.error()),
                     qPrintable(output.error()));
        return 1;
    }
    qputenv("PELORA_COM1", input.second().toLocal8Bit());

    // Map addresses are built as usual but not loaded: the figures are the program's, not the
    // network's or the web engine's.
    TestDesktop desktop;
    Form1 form(desktop.services());
    form.show();
    Ui::Form1 &ui = form.ui();
    const QList<QAbstractButton *> choices = ui.Option1->buttons();
    for (QAbstractButton *choice : choices) {
        if (choice->text().toInt() == interval)
            choice->click();
    }
    ui.Combo7->setCurrentText(output.first());
    ui.Command1->click();
    ui.Command5->click();
    if (!form.CommX1().isOpen() || !form.CommX2().isOpen()) {
        std::fprintf(stderr, "ports did not open\n");
        return 1;
    }

    // Time every tick: the timer calls the same handler, through a stopwatch.
    QObject::disconnect(&form.Timer1(), &QTimer::timeout, &form, nullptr);
    double longestTick = 0;
    qsizetype bufferAtLongest = 0;
    qsizetype largestBuffer = 0;
    int ticks = 0;
    QObject::connect(&form.Timer1(), &QTimer::timeout, &form, [&] {
        const qsizetype buffered = form.receiveLog().size();
        largestBuffer = qMax(largestBuffer, buffered);
        QElapsedTimer stopwatch;
        stopwatch.start();
        form.pollCycle().PollTick();
        const double duration = stopwatch.nsecsElapsed() / 1e6;
        if (duration > longestTick) {
            longestTick = duration;
            bufferAtLongest = buffered;
        }
        ++ticks;
    });
    qint64 received = 0;
    QObject::connect(&form.CommX1(), &PortControl::dataReceived, &form,
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
    QTimer::singleShot(int(seconds * 1000), &form, [&] { stopFeeding = true; });
    // After the feed stops, wait until what is on its way has arrived and been sent on.
    QTimer settle;
    qint64 lastReceived = -1;
    QObject::connect(&settle, &QTimer::timeout, &form, [&] {
        // Bytes the output dropped to keep its backlog bounded will never arrive.
        if (stopFeeding && received == lastReceived &&
            forwarded + form.CommX2().droppedBytes() == received)
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
    auto timedTick = [&form](qint16 count) {
        form.module1().tickCount = count;
        QElapsedTimer stopwatch;
        stopwatch.start();
        form.pollCycle().PollTick();
        return stopwatch.nsecsElapsed() / 1e6;
    };
    const double ordinaryTick = timedTick(5);
    const double rebuildTick = timedTick(10);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double mb = received / 1e6;
    std::printf("log                      %s (%lld bytes)\n", qPrintable(file.fileName()),
                qlonglong(log.size()));
    std::printf("poll interval            %d ms, rate %s\n", form.Timer1().interval(),
                rate > 0 ? qPrintable(QString::number(rate) + u" B/s"_s) : "unthrottled");
    std::printf("streamed                 %.1f s\n", elapsed);
    std::printf("received                 %lld bytes, %.0f KB/s\n", qlonglong(received),
                received / elapsed / 1e3);
    std::printf("forwarded                %lld bytes, %.0f KB/s\n", qlonglong(forwarded.load()),
                forwarded / elapsed / 1e3);
    std::printf("dropped by the output    %lld bytes\n", qlonglong(form.CommX2().droppedBytes()));
    std::printf("receive buffer at end    %.1f MB\n", form.receiveLog().size() / 1e6);
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
