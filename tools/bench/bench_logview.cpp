// What receiving a chunk and painting the receive view cost with a small and with a large log,
// in a window the size of Text1. Both should stay the same however much the log holds.
//
//   pelora-bench-logview [--log FILE] [--chunk BYTES] [--large MB] [--repeats N]
#include "benchsupport.h"
#include "logic/receivelog.h"
#include "repeat.h"
#include "windows/logview.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Median and largest of repeated runs, in microseconds.
struct Figure {
    double median = 0;
    double largest = 0;
};

Figure measure(int repeats, const std::function<void()> &prepare,
               const std::function<void()> &run) {
    std::vector<double> times;
    for (int k = 0; k < repeats; ++k) {
        prepare();
        QElapsedTimer stopwatch;
        stopwatch.start();
        run();
        times.push_back(stopwatch.nsecsElapsed() / 1e3);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

} // namespace

int main(int argc, char *argv[]) {
    preferOffscreen();
    QApplication app(argc, argv);
    QCommandLineParser options;
    parseOptions(options, app,
                 u"Times receiving a chunk and painting the receive view with a small and a large "
                 "log."_s,
                 {
                     logOption(u"Receiver log the text is taken from."_s),
                     {u"chunk"_s, u"Bytes per received chunk."_s, u"bytes"_s, u"512"_s},
                     {u"large"_s, u"Size of the large log."_s, u"MB"_s, u"30"_s},
                     {u"repeats"_s, u"Runs per figure."_s, u"n"_s, u"300"_s},
                 });
    const QString recorded = QString::fromLatin1(readReceiverText(options.value(u"log"_s)));
    const qsizetype chunkSize = options.value(u"chunk"_s).toLongLong();
    const qsizetype large = qsizetype(options.value(u"large"_s).toDouble() * 1e6);
    const int repeats = std::max(1, options.value(u"repeats"_s).toInt());
    if (recorded.isEmpty() || chunkSize <= 0) {
        std::fprintf(stderr, "nothing to receive\n");
        return 1;
    }
    const QString chunk = repeatTo(recorded.sliced(recorded.size() / 2), chunkSize);

    ReceiveLog log;
    LogView view;
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view.resize(473, 233);
    view.setLog(&log);
    view.show();
    QCoreApplication::processEvents();

    std::printf("log %s, chunks of %lld bytes, %d runs per figure (median / largest, us)\n",
                qPrintable(options.value(u"log"_s)), qlonglong(chunkSize), repeats);
    std::printf("%10s %9s %22s %22s %22s\n", "log", "lines", "append a chunk", "paint at the end",
                "paint, all selected");
    for (const qsizetype size : {qsizetype(1000), large}) {
        const QString text = repeatTo(recorded, size);
        // Filled the way it is received, chunk by chunk; the view follows the end.
        const auto fill = [&] {
            log.clear();
            for (qsizetype at = 0; at < text.size(); at += 65536)
                log.append(text.sliced(at, std::min<qsizetype>(65536, text.size() - at)));
        };
        QElapsedTimer filling;
        filling.start();
        fill();
        const double fillSeconds = filling.nsecsElapsed() / 1e9;

        // The small log is filled afresh before each chunk so that it stays small; the large one
        // grows by a fraction of a percent over all runs.
        const Figure append = measure(
            repeats,
            [&] {
                if (size < large)
                    fill();
            },
            [&] {
                log.append(chunk);
                view.refresh(); // at once rather than with what else arrives within 100 ms
            });
        QCoreApplication::processEvents();
        const Figure paint = measure(
            repeats, [] {}, [&] { view.viewport()->repaint(); });
        view.selectAll();
        const Figure selected = measure(
            repeats, [] {}, [&] { view.viewport()->repaint(); });

        const QString held = log.size() < 1000000 ? u"%1 KB"_s.arg(log.size() / 1e3, 0, 'f', 1)
                                                  : u"%1 MB"_s.arg(log.size() / 1e6, 0, 'f', 1);
        std::printf("%10s %9lld %10.1f / %9.1f %10.1f / %9.1f %10.1f / %9.1f\n", qPrintable(held),
                    qlonglong(view.lineCount()), append.median, append.largest, paint.median,
                    paint.largest, selected.median, selected.largest);
        if (size == large)
            std::printf("filling the large log: %.2f s, %.0f MB/s\n", fillSeconds,
                        size / 1e6 / fillSeconds);
    }
    return 0;
}
