// Times the sentence-type list on buffers of growing size, for a receiver's normal stream and for
// garbage built to list as many distinct candidates as possible: built from the whole text at
// once, and kept chunk by chunk as the receive log does (the cost of one append, then of asking
// for the list at the end).
// Usage: pelora-bench-typelist [largest size in bytes, default 4194304]
#include "benchsupport.h"
#include "logic/sentencetypes.h"
#include "repeat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QString>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// A receiver's usual second: a handful of sentence types, repeated.
QString nmeaStream(qsizetype size) {
    const QString second =
        QStringLiteral("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
                       "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n"
                       "$GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45*75\r\n"
                       "$GPGSV,2,2,08,18,16,063,38,22,41,210,42,24,05,113,36,25,62,025,47*7E\r\n"
                       "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
                       "$PGRME,15.0,M,45.0,M,25.0,M*1C\r\n");
    return repeatTo(second, size);
}

// A "$" every `period` characters, the rest random printable characters: nearly every candidate
// is new, and the list grows with the buffer.
QString dollarGarbage(qsizetype size, int period) {
    QRandomGenerator random(6);
    QString buffer(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        char16_t c = u'$';
        if (i % period != 0) {
            do
                c = char16_t(random.bounded(0x20, 0x7F));
            while (c == u'$');
        }
        buffer[i] = QChar(c);
    }
    return buffer;
}

long peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Roughly what one data event of the serial port brings at 4800 baud.
constexpr qsizetype kChunk = 64;

double msSince(const QElapsedTimer &timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.addPositionalArgument(QStringLiteral("largest"),
                                  QStringLiteral("Largest buffer in bytes (default 4194304)."),
                                  QStringLiteral("[largest]"));
    parseOptions(options, app,
                 QStringLiteral("Times the sentence-type list over growing buffers, built from "
                                "the whole text and kept chunk by chunk."),
                 {});
    const QStringList args = options.positionalArguments();
    const qsizetype largest = args.isEmpty() ? 4 << 20 : args.first().toLongLong();
    const struct {
        const char *name;
        std::function<QString(qsizetype)> make;
    } kinds[] = {
        {"nmea", nmeaStream},
        {"dollar-every-6", [](qsizetype n) { return dollarGarbage(n, 6); }},
        {"dollar-every-2", [](qsizetype n) { return dollarGarbage(n, 2); }},
    };
    std::printf("%-16s %10s %10s %12s %12s %12s %12s %14s\n", "buffer", "bytes", "whole ms",
                "append ns", "append max", "query ms", "list chars", "peak RSS KiB");
    for (const auto &kind : kinds) {
        for (qsizetype size = 64 << 10;; size = std::min(size * 4, largest)) {
            const QString buffer = kind.make(size);
            QElapsedTimer timer;
            timer.start();
            const QString list = sentenceTypeList(buffer);
            const double wholeMs = msSince(timer);

            SentenceTypeTracker tracker;
            qint64 slowestAppend = 0;
            qint64 appends = 0;
            timer.start();
            for (qsizetype at = 0; at < size; at += kChunk, ++appends) {
                QElapsedTimer one;
                one.start();
                tracker.append(QStringView(buffer).sliced(at).left(kChunk));
                slowestAppend = std::max(slowestAppend, one.nsecsElapsed());
            }
            const double appendNs = double(timer.nsecsElapsed()) / double(appends);
            timer.start();
            const QString kept = tracker.list();
            const double queryMs = msSince(timer);
            if (kept != list) {
                std::fprintf(stderr, "%s %lld: kept list differs from the whole-text list\n",
                             kind.name, qlonglong(size));
                return 1;
            }

            std::printf("%-16s %10lld %10.2f %12.0f %12lld %12.3f %12lld %14ld\n", kind.name,
                        qlonglong(size), wholeMs, appendNs, qlonglong(slowestAppend), queryMs,
                        qlonglong(list.size()), peakResidentKiB());
            std::fflush(stdout);
            if (size >= largest)
                break;
        }
    }
    return 0;
}
