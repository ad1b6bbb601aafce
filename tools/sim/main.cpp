// pelora-sim: plays an NMEA 0183 GPS receiver on a serial line, for trying and testing the monitor.

#include "faults.h"
#include "nmeagenerator.h"
#include "options.h"
#include "pacer.h"
#include "pty.h"
#include "streamserver.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;
sigset_t g_waitMask; // the mask during waits: stop signals let through

void requestStop(int) {
    g_stopRequested = 1;
}

// Stop signals stay blocked except inside waits, so one can never slip in between a check of
// the flag and the wait that would then sleep through it.
void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
        sigaddset(&stopSignals, signal);
    }
    std::signal(SIGPIPE, SIG_IGN);
    sigprocmask(SIG_BLOCK, &stopSignals, &g_waitMask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigdelset(&g_waitMask, signal);
}

// Sleeps until the deadline (monotonic ns), a stop signal, or, given an fd, until it is writable;
// given a server, also until a client comes, goes or can take more, which it then serves.
void waitUntil(int64_t deadline, int writableFd = -1, StreamServer *server = nullptr) {
    const int64_t span = std::max<int64_t>(0, deadline - monotonicNow());
    timespec timeout{static_cast<time_t>(span / 1'000'000'000),
                     static_cast<long>(span % 1'000'000'000)};
    std::vector<pollfd> watched;
    if (writableFd >= 0)
        watched.push_back({writableFd, POLLOUT, 0});
    if (server)
        server->addPollFds(watched);
    ppoll(watched.data(), watched.size(), &timeout, &g_waitMask);
    if (server)
        server->service(watched);
}

constexpr int64_t kSecond = 1'000'000'000;

// Waits until the reader has taken what is in the line (pseudo-terminal only) and the clients
// what waits for them, at most a while; then lets the clients go.
void drain(const SerialLine &line, StreamServer *server, int64_t deadline) {
    deadline = std::min(deadline, monotonicNow() + 2 * kSecond);
    int emptyChecks = 0;
    // Twice empty in a row: the kernel may not have moved the last bytes to the reader's side.
    while (line.isPseudoTerminal() && emptyChecks < 2 && !g_stopRequested &&
           monotonicNow() < deadline) {
        emptyChecks = line.unreadBytes() == 0 ? emptyChecks + 1 : 0;
        waitUntil(std::min(deadline, monotonicNow() + 10'000'000), -1, server);
    }
    if (!server)
        return;
    while (server->backlog() > 0 && !g_stopRequested && monotonicNow() < deadline)
        waitUntil(deadline, -1, server);
    server->closeClients();
}

int run(const Options &options) {
    const int64_t startedAt = monotonicNow();
    const int64_t deadline =
        options.durationSeconds
            ? startedAt + static_cast<int64_t>(*options.durationSeconds * kSecond)
            : INT64_MAX;
    QString error;
    // Listening first: a port in use ends the run before a link is made.
    std::unique_ptr<StreamServer> server;
    if (options.tcpPort >= 0) {
        server = std::make_unique<StreamServer>();
        if (!server->listen(options.tcpBind, options.tcpPort, &error))
            fail(error, 1);
    }
    const bool serial = options.serialLine();
    SerialLine line;
    if (serial) {
        const bool opened =
            options.device.isEmpty()
                ? line.openPseudoTerminal(&error)
                : line.openDevice(
                      options.device,
                      [deadline] {
                          waitUntil(std::min(deadline, monotonicNow() + kSecond / 10));
                          return !g_stopRequested && monotonicNow() < deadline;
                      },
                      &error);
        if (!opened) {
            if (g_stopRequested || monotonicNow() >= deadline)
                return 0;
            fail(error, 1);
        }
        if (!options.link.isEmpty() && !makeLink(options.link, line.readerPath(), &error))
            fail(error, 1);
        std::printf("%s\n", qPrintable(line.readerPath()));
    }
    // After the line's path, so that scripts reading the first line still find it.
    if (server)
        std::printf("%s\n", qPrintable(server->address()));
    std::fflush(stdout);

    const auto sink = [&](const char *data, qsizetype size) -> ssize_t {
        if (serial) {
            // The line sets the pace; the clients get copies of what it took.
            const ssize_t written = ::write(line.fd(), data, size);
            if (written > 0 && server)
                server->send(QByteArrayView(data, written));
            return written;
        }
        // Network only: at --baud 0 the fastest client sets the pace, and no client is no reader.
        const qsizetype taken = options.baud > 0 ? size : std::min(size, server->room());
        if (taken == 0) {
            errno = EAGAIN;
            return -1;
        }
        server->send(QByteArrayView(data, taken));
        return taken;
    };
    PacedWriter writer(sink, options.baud);
    // Unread bytes beyond about two seconds of line time mean nobody is listening.
    const int staleLimit =
        options.baud > 0 ? static_cast<int>(std::min(2048.0, 2.0 * writer.bytesPerSecond())) : 0;
    const auto dropStale = [&] {
        if (staleLimit > 0 && line.unreadBytes() > staleLimit)
            line.discardUnread();
    };

    GeneratorSettings settings = options.generator;
    // A burst sends every epoch at once; what is in them is as if they had come on time.
    const int64_t period = options.burst ? 0 : kSecond / settings.hz;
    int64_t firstEpochAt = startedAt;
    if (!options.startGiven) {
        // Epochs on whole periods of the system clock, as a receiver aligns them to GPS time.
        const qint64 nowMsecs = QDateTime::currentMSecsSinceEpoch();
        const qint64 periodMsecs = 1000 / settings.hz;
        settings.startMsecs = (nowMsecs / periodMsecs + 1) * periodMsecs;
        firstEpochAt = startedAt + (settings.startMsecs - nowMsecs) * 1'000'000;
    }
    if (options.burst)
        firstEpochAt = startedAt;
    NmeaGenerator generator(settings);
    FaultInjector faults(options.faults);
    qint64 epoch = 0;
    bool warnedSlow = false;
    int64_t nextStaleCheck = startedAt + kSecond;
    bool replayQueued = false;

    int status = 0;
    while (!g_stopRequested) {
        const int64_t now = monotonicNow();
        if (now >= deadline)
            break;
        int64_t nextEpochAt = INT64_MAX;
        if (!options.replaying) {
            const bool moreEpochs = options.count == 0 || epoch < options.count;
            if (moreEpochs && now >= firstEpochAt + epoch * period) {
                dropStale();
                const QByteArray bytes = faults.frame(generator.epochSentences(epoch));
                // A second behind is no passing peak any more: the line is too slow.
                if (!warnedSlow && options.baud > 0 && writer.pending() > writer.bytesPerSecond()) {
                    std::fprintf(stderr,
                                 "pelora-sim: warning: %d baud cannot carry %d epochs of %d bytes "
                                 "a second; the stream falls behind\n",
                                 options.baud, settings.hz, static_cast<int>(bytes.size()));
                    warnedSlow = true;
                }
                writer.append(bytes);
                ++epoch;
            }
            if (options.count == 0 || epoch < options.count)
                nextEpochAt = firstEpochAt + epoch * period;
        } else {
            if (now >= nextStaleCheck) {
                dropStale();
                nextStaleCheck = now + kSecond;
            }
            // Keep a looping replay well stocked, so the line never runs dry between copies.
            while (!replayQueued || (options.loop && writer.pending() < 65536)) {
                writer.append(options.replay);
                replayQueued = true;
            }
            nextEpochAt = nextStaleCheck;
        }

        const PacedWriter::Step step = writer.pump(now);
        if (!step.ok) {
            std::fprintf(stderr, "pelora-sim: cannot write to %s: %s\n",
                         qPrintable(line.readerPath()), std::strerror(errno));
            status = 1;
            break;
        }
        const bool finished = writer.pending() == 0 &&
                              (options.replaying ? replayQueued && !options.loop
                                                 : options.count > 0 && epoch >= options.count);
        if (finished) {
            drain(line, server.get(), deadline);
            break;
        }
        if (options.loop && writer.pending() == 0)
            continue; // took the whole stock at once: restock before waiting
        waitUntil(std::min({step.wakeAt, nextEpochAt, deadline}),
                  serial && step.needWritable ? line.fd() : -1, server.get());
    }
    if (!options.link.isEmpty())
        removeLink(options.link, line.readerPath());
    return status;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pelora-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    const Options options = parseOptions(app.arguments());
    installStopHandlers();
    return run(options);
}
