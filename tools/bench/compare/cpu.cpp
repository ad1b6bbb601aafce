// CPU per MB of gpsd reading, Pelora's window and Pelora's headless run, on the same input line
// and the same paced text. The three take turns for some rounds, and each keeps its lowest
// figure: a virtual machine's neighbours can steal a whole round from one of them, and taking
// turns lets no program have all the quiet minutes.
#include "parts.h"
#include "processes.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

std::optional<double> gpsdCpu(const Context &context) {
    const QString socket = QDir::temp().filePath(u"pelora-bench-gpsd-%1.sock"_s.arg(getpid()));
    QProcess gpsd;
    gpsd.setProgram(u"gpsd"_s);
    // Its own control socket and port, so that a system gpsd is no matter.
    gpsd.setArguments({u"-N"_s, u"-n"_s, u"-b"_s, u"-F"_s, socket, u"-S"_s,
                       QString::number(freeTcpPort()), context.input.second()});
    gpsd.setProcessChannelMode(QProcess::MergedChannels);
    std::optional<double> figure;
    if (startHolding(gpsd, context.input.second())) {
        figure = cpuPerMb("gpsd", gpsd.processId(), context.input.first(), context.text,
                          Context::kCpuRate, context.cpuPartSeconds);
        if (gpsd.state() != QProcess::Running)
            figure.reset();
    }
    if (!figure)
        std::fprintf(stderr, "gpsd did not run: %s %s\n", qPrintable(gpsd.errorString()),
                     gpsd.readAll().constData());
    endProcess(gpsd);
    QFile::remove(socket);
    return figure;
}

std::optional<double> windowCpu(const Context &context) {
    WindowChild window;
    if (!window.start(context.input.second(), u"-"_s, Context::kPollInterval, false))
        return std::nullopt;
    const double figure = cpuPerMb("window", window.pid(), context.input.first(), context.text,
                                   Context::kCpuRate, context.cpuPartSeconds);
    window.end();
    return figure;
}

std::optional<double> headlessCpu(const Context &context) {
    HeadlessPelora headless(context.peloraProgram);
    if (!headless.start(context.input.second(), Context::kPollInterval))
        return std::nullopt;
    const double figure = cpuPerMb("headless", headless.pid(), context.input.first(), context.text,
                                   Context::kCpuRate, context.cpuPartSeconds);
    headless.end();
    return figure;
}

void keepLowest(std::optional<double> &lowest, std::optional<double> figure) {
    if (figure && (!lowest || *figure < *lowest))
        lowest = figure;
}

} // namespace

void runCpu(const Context &context, Figures &figures) {
    std::printf("\nCPU: %.0f KB/s for %.0f s, input port only, poll interval %d ms; gpsd -N -n -b, "
                "Pelora's window and Pelora --headless in turn, %d rounds, lowest kept\n",
                Context::kCpuRate / 1e3, context.cpuPartSeconds, Context::kPollInterval,
                context.cpuRounds);
    std::fflush(stdout);
    const std::pair<std::optional<double> *, std::function<std::optional<double>()>> turns[] = {
        {&figures.gpsdCpu, [&] { return gpsdCpu(context); }},
        {&figures.windowCpu, [&] { return windowCpu(context); }},
        {&figures.headlessCpu, [&] { return headlessCpu(context); }},
    };
    for (int round = 0; round < context.cpuRounds; ++round) {
        for (const auto &[lowest, measure] : turns) {
            context.fresh();
            keepLowest(*lowest, measure());
        }
    }
}
