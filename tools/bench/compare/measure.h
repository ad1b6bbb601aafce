#pragma once

// What the comparison measures on the lines and reads about a process, the same for Pelora and
// its peers: the receiver and the consumer are threads of the benchmark, and the process under
// test is seen only through its lines and /proc.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cmath>
#include <optional>
#include <vector>

// The whole sentences of the text, line ends included.
QList<QByteArray> sentencesOf(const QByteArray &text);

struct Latency {
    double p50 = NAN, p99 = NAN, max = NAN;
    int measured = 0;
    int missing = 0;
    bool exact = false;
};

// `count` sentences one by one, a few milliseconds apart, after a few not counted; each one's
// latency runs from just before its write to the arrival of its line end at the consumer.
Latency measureLatency(const QString &from, const QString &to, const QList<QByteArray> &sentences,
                       int count);

// Writes everything as fast as the reader at the far end takes it; the seconds until it has all
// been read there, none if it was not.
std::optional<double> fillInput(const QString &from, const QString &readerEnd,
                                const QByteArray &data);

// Writes the same text to each device at a steady rate, in 10 ms steps, for the given time; the
// bytes written to each.
qint64 writePaced(const QStringList &to, const QByteArray &text, double bytesPerSecond,
                  double seconds);

// A process reading what is written to `from`.
struct Reader {
    const char *who;
    qint64 pid;
    QString from;
};
// Each reader's CPU seconds per MB while the text is written to all of them at once at the rate
// for the given time, with a line each on what it took.
std::vector<double> cpuPerMb(const std::vector<Reader> &readers, const QByteArray &text,
                             double bytesPerSecond, double seconds);

// The process and every process it started, and they started, as far as they still run.
QList<qint64> processTree(qint64 pid);
// CPU seconds (user and system, every thread) of a process and the processes it started.
double cpuSeconds(qint64 pid);
// A line of /proc/PID/status such as VmRSS, in MB, summed over the process and the processes it
// started: what the user's machine pays (the web engine runs in processes of its own). For
// VmHWM, the sum of each one's own peak.
double statusMb(qint64 pid, const char *key);
// Whether a process holds the device open.
bool holdsOpen(qint64 pid, const QString &device);

// Throws away whatever a pseudo-terminal end still holds from an earlier part.
void discardPending(const QString &device);
// A TCP port on the loopback that nothing listens at right now.
quint16 freeTcpPort();
