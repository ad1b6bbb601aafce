#include "report.h"

#include <QString>

#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct Row {
    QString what;
    QString peerName;
    std::optional<double> peer;
    std::optional<double> pelora;
    int decimals = 2; // < 0: a yes (1) or no (0)
};

std::optional<double> ratio(std::optional<double> pelora, std::optional<double> peer) {
    if (!pelora || !peer || *peer <= 0 || std::isnan(*peer) || std::isnan(*pelora))
        return std::nullopt;
    return *pelora / *peer;
}

QString figure(std::optional<double> value, int decimals) {
    if (!value || std::isnan(*value))
        return u"-"_s;
    if (decimals < 0)
        return *value != 0 ? u"yes"_s : u"no"_s;
    return QString::number(*value, 'f', decimals);
}

// Whether the flood's bytes all came out as they went in; nothing when it did not run.
double exact(const Flood &flood) {
    return std::isnan(flood.seconds) ? NAN : double(flood.exact);
}

} // namespace

void printLatency(const char *who, const Latency &l) {
    std::printf("  %-7s p50 %.3f ms, p99 %.3f ms, max %.3f ms over %d sentences%s%s\n", who, l.p50,
                l.p99, l.max, l.measured,
                l.missing ? qPrintable(u", %1 line ends missing"_s.arg(l.missing)) : "",
                l.exact ? ", byte-exact" : ", NOT byte-exact");
    std::fflush(stdout);
}

void printFlood(const char *who, const Flood &f, qint64 size) {
    std::printf("  %-7s %.2f s for %.1f MB, %.1f MB/s, %lld of %lld bytes arrived, %s\n", who,
                f.seconds, size / 1e6, f.arrived / 1e6 / f.seconds, qlonglong(f.arrived),
                qlonglong(size), f.exact ? "byte-exact" : "NOT byte-exact");
    std::fflush(stdout);
}

void printTable(const Context &context, const Figures &figures) {
    const QString cpu = u"CPU s per MB, %1 KB/s, %2 ms poll"_s.arg(Context::kCpuRate / 1e3)
                            .arg(Context::kPollInterval);
    const double held = context.holdBytes / 1e6;
    const Figures &f = figures;
    // Figures of a part that did not run are NaN or unset, and show as "-".
    const std::vector<Row> rows{
        {u"latency p50, ms"_s, u"socat"_s, f.socatLatency.p50, f.peloraLatency.p50, 3},
        {u"latency p99, ms"_s, u"socat"_s, f.socatLatency.p99, f.peloraLatency.p99, 3},
        {u"latency max, ms"_s, u"socat"_s, f.socatLatency.max, f.peloraLatency.max, 3},
        {u"flood %1 MB, s to last byte"_s.arg(context.floodBytes / 1e6), u"socat"_s,
         f.socatFlood.seconds, f.peloraFlood.seconds, 2},
        {u"flood byte-exact"_s, u"socat"_s, exact(f.socatFlood), exact(f.peloraFlood), -1},
        {cpu + u" (window)"_s, u"gpsd"_s, f.gpsdCpu, f.windowCpu, 3},
        {cpu + u" (headless)"_s, u"gpsd"_s, f.gpsdCpu, f.headlessCpu, 3},
        {u"peak resident MB during the flood, children too"_s, {}, {}, f.floodHwm, 1},
        {u"idle resident MB, ports open, children too"_s, {}, {}, f.idleRss, 1},
        {u"start-up to the first painted window, ms"_s, {}, {}, f.startupMs, 0},
        {u"longest stall, ms, log holding %1 MB"_s.arg(held), {}, {}, f.stall, 1},
        {u"longest poll tick, ms, log holding %1 MB"_s.arg(held), {}, {}, f.stallTick, 1},
        {u"longest stall, ms, filling the log included"_s, {}, {}, f.fillStall, 1},
        {u"resident MB grown, stalled client, 1-line chunks"_s, {}, {}, f.stalled.growthMb, 1},
        {u"CPU s per MB, sky window open / closed"_s, u"closed"_s, f.skyClosedCpu, f.skyOpenCpu, 3},
        {u"connects that waited, storm of 2000 to TCP out"_s, {}, {}, f.storm.waited, 0},
        {u"peak resident MB, %1 MB burst from TCP"_s.arg(context.burstMb),
         {},
         {},
         f.burst.peakMb,
         1},
        {u"longest stall, ms, during the burst"_s, {}, {}, f.burst.longestStallMs, 1},
    };

    std::printf("\n%-46s %-6s %10s %10s %12s\n", "figure", "peer", "", "Pelora", "Pelora/peer");
    for (const Row &row : rows) {
        const std::optional<double> r =
            row.decimals < 0 ? std::nullopt : ratio(row.pelora, row.peer);
        std::printf("%-46s %-6s %10s %10s %12s\n", qPrintable(row.what),
                    row.peerName.isEmpty() ? "-" : qPrintable(row.peerName),
                    qPrintable(figure(row.peer, row.decimals)),
                    qPrintable(figure(row.pelora, row.decimals)),
                    r ? qPrintable(QString::number(*r, 'f', 2)) : "-");
    }
}
