// Pelora on the same lines as its peers: its main window in a process of its own for memory,
// latency, the flood and the stall with a full receive log.
#include "parts.h"
#include "processes.h"
#include "repeat.h"
#include "report.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

void measureWindow(const Context &context, Figures &figures) {
    context.fresh();
    WindowChild pelora;
    if (!pelora.start(context.input.second(), context.output.first(), Context::kPollInterval,
                      false))
        return;
    figures.startupMs = pelora.startupMs();
    std::printf("  start-up to the first painted window %.0f ms\n", *figures.startupMs);
    // Idle: the ports are open and nothing has arrived yet.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    figures.idleRss = statusMb(pelora.pid(), "VmRSS");
    std::printf("  idle resident memory %.1f MB (%lld processes)\n", *figures.idleRss,
                qlonglong(processTree(pelora.pid()).size()));
    figures.peloraLatency = measureLatency(context.input.first(), context.output.second(),
                                           context.sentences, context.sentenceCount);
    printLatency("latency", figures.peloraLatency);
    figures.peloraFlood =
        measureFlood(context.input.first(), context.output.second(), context.floodData, true);
    figures.floodHwm = statusMb(pelora.pid(), "VmHWM");
    printFlood("flood", figures.peloraFlood, context.floodBytes);
    std::printf("  peak resident memory %.1f MB (%lld processes)\n", *figures.floodHwm,
                qlonglong(processTree(pelora.pid()).size()));
    pelora.end();
}

// The receive log fills up within the first cycle of 20 ticks; the stall that counts is the
// longest from then on, through the tick that rebuilds the type list (the 11th).
void measureStall(const Context &context, Figures &figures) {
    std::printf("  stall: %.0f MB as fast as taken, input port only, poll interval %d ms\n",
                context.holdBytes / 1e6, Context::kHoldInterval);
    std::fflush(stdout);
    context.fresh();
    WindowChild holder;
    if (!holder.start(context.input.second(), u"-"_s, Context::kHoldInterval, true))
        return;
    int ticks = 0;
    const auto readTicks = [&](int timeoutMs) {
        const QByteArray line = holder.line(timeoutMs);
        if (line.startsWith("tick "))
            ticks = line.split(' ').value(1).toInt();
        return line;
    };
    const std::optional<double> fillSeconds = fillInput(
        context.input.first(), context.input.second(), repeatTo(context.text, context.holdBytes));
    while (!readTicks(0).isEmpty()) {
    }
    // Emptied at the last tick of the cycle: what is measured must end before it.
    const bool holding = fillSeconds && ticks < PollCycle::kCycle - 2;
    if (fillSeconds)
        std::printf("  filled in %.1f s (%.1f MB/s), after %d ticks\n", *fillSeconds,
                    context.holdBytes / 1e6 / *fillSeconds, ticks);
    int markedAt = 0;
    if (holding) {
        holder.send("mark");
        markedAt = ticks;
        // Until two ticks after the mark and past the type list's rebuild.
        while (ticks < std::max(markedAt + 2, PollCycle::kListTick + 2)) {
            if (readTicks(3 * Context::kHoldInterval).isEmpty())
                break;
        }
        if (markedAt > PollCycle::kListTick)
            std::printf("  (the type list was rebuilt while filling, not counted)\n");
    }
    holder.send("stop");
    QByteArray line;
    while (!(line = readTicks(10000)).isEmpty() && line != "stopped") {
        const QList<QByteArray> f = line.split(' ');
        if (f.value(0) == "stall") {
            figures.stall = f.value(1).toDouble();
            figures.fillStall = f.value(2).toDouble();
        } else if (f.value(0) == "longtick") {
            figures.stallTick = f.value(1).toDouble();
        }
    }
    if (!holding || ticks >= PollCycle::kCycle) {
        figures.stall.reset();
        figures.stallTick.reset();
    }
    if (figures.stall)
        std::printf("  holding %.0f MB from tick %d to %d: longest stall %.1f ms, longest poll "
                    "tick %.1f ms (whole run: longest stall %.1f ms)\n",
                    context.holdBytes / 1e6, markedAt, ticks, *figures.stall, *figures.stallTick,
                    figures.fillStall.value_or(NAN));
    else
        std::printf("  the receive log did not hold %.0f MB long enough\n",
                    context.holdBytes / 1e6);
    holder.end();
}

} // namespace

void runPelora(const Context &context, Figures &figures) {
    std::printf("\nPelora (the real main window, its map window hidden; memory of the process and "
                "its children), poll interval %d ms\n",
                Context::kPollInterval);
    std::fflush(stdout);
    measureWindow(context, figures);
    measureStall(context, figures);
}
