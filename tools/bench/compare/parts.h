#pragma once

// The parts of the comparison, what they share and the figures they leave for the report. Each
// part prints its own lines as it goes; a part that cannot run leaves its figures unset.

#include "logic/pollcycle.h"
#include "measure.h"
#include "ptypair.h"
#include "rawline.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cmath>
#include <optional>

struct Context {
    QByteArray text; // the recorded receiver text
    QList<QByteArray> sentences;
    QByteArray floodData;
    // The receiver writes to input.first(); the program measured reads input.second() and
    // writes output.first(); the consumer reads output.second().
    PtyPair input;
    PtyPair output;
    QString peloraProgram; // the real program, for its headless run
    QString logFolder;     // where the recorded logs are
    int sentenceCount = 0;
    qint64 floodBytes = 0;
    double cpuPartSeconds = 0; // how long the CPU part writes
    qint64 holdBytes = 0;
    qint64 stalledBytes = 0;
    qint64 burstBytes = 0;
    QString burstMb; // as the option gave it, for the report

    static constexpr double kCpuRate = 100e3; // bytes per second
    static constexpr int kPollInterval = kPollIntervals.front();
    // The longest: the log is emptied only every 100 s.
    static constexpr int kHoldInterval = kPollIntervals.back();

    // Empties every end of both pairs of what an earlier part left there.
    void fresh() const {
        for (const QString &end : {input.first(), input.second(), output.first(), output.second()})
            discardPending(end);
    }
};

struct StalledClientFigures {
    double growthMb = NAN; // resident memory after, less before
    double peakGrowthMb = NAN;
    qint64 lines = 0;
};

struct BurstFigures {
    double seconds = NAN;
    double peakMb = NAN;
    double longestStallMs = NAN;
};

struct StormFigures {
    int clients = 0;
    double waited = NAN; // connects that took a kernel retry: their first try found the queue full
    double seconds = NAN;
};

struct Figures {
    Latency socatLatency;
    Flood socatFlood;
    std::optional<double> gpsdCpu;

    Latency peloraLatency;
    Flood peloraFlood;
    std::optional<double> windowCpu, headlessCpu;
    std::optional<double> skyClosedCpu, skyOpenCpu;
    std::optional<double> idleRss, floodHwm, startupMs;
    std::optional<double> stall, stallTick, fillStall;

    StalledClientFigures stalled;
    BurstFigures burst;
    StormFigures storm;
};

// socat relaying from one pair to the other: latency and the flood.
void runSocat(const Context &context, Figures &figures);
// Pelora's main window: memory, latency, the flood and the stall with a full receive log.
void runPelora(const Context &context, Figures &figures);
// gpsd, Pelora's window and its headless run reading side by side: CPU per MB.
void runCpu(const Context &context, Figures &figures);
// Pelora's window with a TCP client that never reads, a storm of clients that connect and close,
// and a burst from a TCP receiver.
void runLimits(const Context &context, Figures &figures);
// Two main windows side by side on a four-system log, one with the Satelliten window open: what
// the sky costs.
void runSky(const Context &context, Figures &figures);
