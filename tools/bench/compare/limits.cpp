// Pelora's limits: what a TCP client that never reads and a burst from a TCP receiver cost its
// main window's process, and how a storm of short connections to its TCP output is taken.
#include "io/backlog.h"
#include "loopback.h"
#include "parts.h"
#include "processes.h"

#include <QRandomGenerator>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A TCP client that connects and never reads, through the smallest receive buffer.
int stalledClient(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One receiver line per read, as a real receiver delivers them, forwarded to a TCP client that
// never reads: its backlog fills to the limit, and resident memory must grow by about that.
StalledClientFigures measureStalledClient(WindowChild &pelora, const QString &receiver,
                                          quint16 outputPort, const QList<QByteArray> &sentences,
                                          qint64 bytes) {
    StalledClientFigures figures;
    const int client = stalledClient(outputPort);
    if (client < 0)
        return figures;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double before = statusMb(pelora.pid(), "VmRSS");
    const int fd = openWriter(receiver);
    qint64 written = 0;
    for (int i = 0; written < bytes; ++i) {
        const QByteArray &line = sentences[i % sentences.size()];
        writeAll(fd, line.constData(), line.size());
        written += line.size();
        ++figures.lines;
        // Slower than Pelora reads, so that every read finds one line.
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    figures.growthMb = statusMb(pelora.pid(), "VmRSS") - before;
    figures.peakGrowthMb = statusMb(pelora.pid(), "VmHWM") - before;
    ::close(client);
    return figures;
}

// Clients that connect and close at once, up to kInFlight at a time as a scanner or a crowd of
// reconnecting plotters would: a connect whose first try finds the listen queue full is
// answered only by the kernel's retry a second later.
StormFigures measureStorm(quint16 outputPort, int clients) {
    constexpr int kInFlight = 500;
    constexpr double kRetried = 900; // ms; the kernel's first retry comes after a second
    StormFigures figures;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(outputPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    struct Try {
        int fd;
        Clock::time_point start;
    };
    std::vector<Try> tries;
    int started = 0;
    int waited = 0;
    const auto begin = Clock::now();
    while (started < clients || !tries.empty()) {
        while (started < clients && int(tries.size()) < kInFlight) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            if (fd < 0)
                break;
            ::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to);
            tries.push_back({fd, Clock::now()});
            ++started;
        }
        std::vector<pollfd> fds;
        for (const Try &t : tries)
            fds.push_back({t.fd, POLLOUT, 0});
        if (::poll(fds.data(), fds.size(), 5000) <= 0)
            break;
        const auto now = Clock::now();
        std::vector<Try> left;
        for (size_t i = 0; i < tries.size(); ++i) {
            if (fds[i].revents == 0) {
                left.push_back(tries[i]);
                continue;
            }
            if (msSince(tries[i].start, now) >= kRetried)
                ++waited;
            ::close(tries[i].fd);
            ++figures.clients;
        }
        tries = std::move(left);
    }
    for (const Try &t : tries)
        ::close(t.fd);
    figures.seconds = msSince(begin, Clock::now()) / 1000;
    figures.waited = waited;
    return figures;
}

// Random bytes from a network receiver as fast as Pelora takes them, while its window thread is
// timed: memory must stay bounded and the window must keep answering.
BurstFigures measureBurst(WindowChild &pelora, LoopbackListener &receiver, qint64 bytes) {
    BurstFigures figures;
    const int peer = receiver.accept(30000);
    if (peer < 0)
        return figures;
    QByteArray block(1 << 20, Qt::Uninitialized);
    QRandomGenerator random(1);
    random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
    pelora.send("mark");
    const auto start = Clock::now();
    for (qint64 sent = 0; sent < bytes; sent += block.size()) {
        if (!writeAll(peer, block.constData(), block.size()))
            break;
    }
    figures.seconds = msSince(start, Clock::now()) / 1000;
    figures.peakMb = statusMb(pelora.pid(), "VmHWM");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    pelora.send("stop");
    QByteArray line;
    while (!(line = pelora.line(10000)).isEmpty() && line != "stopped") {
        const QList<QByteArray> f = line.split(' ');
        if (f.value(0) == "stall")
            figures.longestStallMs = f.value(1).toDouble();
    }
    ::close(peer);
    return figures;
}

} // namespace

void runLimits(const Context &context, Figures &figures) {
    std::printf("\nPelora's limits: %.0f MB as one-line chunks to a TCP client that never reads\n",
                context.stalledBytes / 1e6);
    std::fflush(stdout);
    context.fresh();
    const quint16 outputPort = freeTcpPort();
    WindowChild forwarder;
    if (forwarder.start(context.input.second(), u"tcp://127.0.0.1:%1"_s.arg(outputPort),
                        Context::kPollInterval, false)) {
        figures.stalled = measureStalledClient(forwarder, context.input.first(), outputPort,
                                               context.sentences, context.stalledBytes);
        std::printf("  %lld lines: resident memory grew by %.1f MB, at its peak by %.1f MB "
                    "(backlog limit %.1f MB)\n",
                    qlonglong(figures.stalled.lines), figures.stalled.growthMb,
                    figures.stalled.peakGrowthMb, Backlog::kLimit / 1e6);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        figures.storm = measureStorm(outputPort, 2000);
        std::printf("  a storm of %d clients connecting and closing, 500 at a time: %.0f waited "
                    "for the kernel's retry, %.1f s in all\n",
                    figures.storm.clients, figures.storm.waited, figures.storm.seconds);
        forwarder.end();
    }

    std::printf("  %.0f MB of random bytes from a TCP receiver as fast as taken, poll interval "
                "%d ms\n",
                context.burstBytes / 1e6, Context::kPollInterval);
    std::fflush(stdout);
    LoopbackListener receiver;
    WindowChild reader;
    if (reader.start(u"tcp://127.0.0.1:%1"_s.arg(receiver.port()), u"-"_s, Context::kPollInterval,
                     true)) {
        figures.burst = measureBurst(reader, receiver, context.burstBytes);
        std::printf("  sent in %.1f s; peak resident memory %.1f MB; longest stall of the "
                    "window's thread %.1f ms\n",
                    figures.burst.seconds, figures.burst.peakMb, figures.burst.longestStallMs);
        reader.end();
    }
}
