#include "measure.h"

#include "rawline.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kSentenceGapMs = 4;
constexpr int kWarmupSentences = 10;

// Bytes waiting to be read at a pseudo-terminal end.
int pendingInput(const QString &device) {
    const int fd = ::open(qPrintable(device), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int waiting = -1;
    if (fd >= 0) {
        ::ioctl(fd, TIOCINQ, &waiting);
        ::close(fd);
    }
    return waiting;
}

} // namespace

QList<QByteArray> sentencesOf(const QByteArray &text) {
    QList<QByteArray> sentences;
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = text.indexOf('\n', at);
        end = end < 0 ? text.size() : end + 1;
        const QByteArray line = text.mid(at, end - at);
        if (line.startsWith('$') && line.endsWith('\n'))
            sentences << line;
        at = end;
    }
    return sentences;
}

Latency measureLatency(const QString &from, const QString &to, const QList<QByteArray> &sentences,
                       int count) {
    const int total = count + kWarmupSentences;
    QByteArray expected;
    for (int i = 0; i < total; ++i)
        expected += sentences[i % sentences.size()];
    Consumer consumer(to, expected.size(), true, true);
    const int fd = openWriter(from);
    std::vector<Clock::time_point> sent(total);
    const auto start = Clock::now();
    for (int i = 0; i < total; ++i) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(i * kSentenceGapMs));
        sent[i] = Clock::now();
        const QByteArray &s = sentences[i % sentences.size()];
        writeAll(fd, s.constData(), s.size());
    }
    consumer.waitFor(expected.size());
    consumer.stop();
    ::close(fd);

    Latency result;
    const auto &arrived = consumer.lineTimes();
    std::vector<double> ms;
    for (int i = kWarmupSentences; i < total && i < int(arrived.size()); ++i)
        ms.push_back(msSince(sent[i], arrived[i]));
    result.measured = int(ms.size());
    result.missing = total - int(arrived.size());
    result.exact = consumer.bytes() == expected;
    if (!ms.empty()) {
        std::sort(ms.begin(), ms.end());
        const auto rank = [&ms](double q) {
            return ms[std::min(ms.size() - 1, std::size_t(std::ceil(q * double(ms.size()))) - 1)];
        };
        result.p50 = rank(0.50);
        result.p99 = rank(0.99);
        result.max = ms.back();
    }
    return result;
}

std::optional<double> fillInput(const QString &from, const QString &readerEnd,
                                const QByteArray &data) {
    const int fd = openWriter(from);
    const auto start = Clock::now();
    const bool written = writeAll(fd, data.constData(), data.size());
    tcdrain(fd);
    ::close(fd);
    if (!written)
        return std::nullopt;
    // The pair's relay may still hold a block; the end must stay empty a while.
    auto readAt = Clock::now();
    auto changedAt = readAt;
    int lastWaiting = 0;
    for (int quiet = 0; quiet < 3;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int waiting = pendingInput(readerEnd);
        if (waiting < 0)
            return std::nullopt;
        if (waiting != lastWaiting)
            changedAt = Clock::now();
        else if (waiting > 0 && Clock::now() - changedAt > kNoProgress)
            return std::nullopt; // the reader has stopped reading
        lastWaiting = waiting;
        if (waiting > 0) {
            quiet = 0;
            readAt = Clock::now();
        } else {
            ++quiet;
        }
    }
    return msSince(start, readAt) / 1000;
}

qint64 writePaced(const QStringList &to, const QByteArray &text, double bytesPerSecond,
                  double seconds) {
    std::vector<int> fds;
    for (const QString &device : to)
        fds.push_back(openWriter(device));
    const auto start = Clock::now();
    const auto step = std::chrono::milliseconds(10);
    qint64 written = 0;
    qsizetype at = 0;
    bool failed = false;
    for (int k = 1; k * 0.01 <= seconds + 1e-9 && !failed; ++k) {
        std::this_thread::sleep_until(start + k * step);
        const qint64 due = qint64(k * 0.01 * bytesPerSecond);
        while (written < due && !failed) {
            const qsizetype piece = std::min<qsizetype>(due - written, text.size() - at);
            for (const int fd : fds)
                failed = failed || !writeAll(fd, text.constData() + at, piece);
            written += piece;
            at = (at + piece) % text.size();
        }
    }
    for (const int fd : fds)
        ::close(fd);
    return written;
}

std::vector<double> cpuPerMb(const std::vector<Reader> &readers, const QByteArray &text,
                             double bytesPerSecond, double seconds) {
    // What a program does once after it has opened its port is not what reading costs.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    QStringList to;
    std::vector<double> before;
    for (const Reader &reader : readers) {
        to << reader.from;
        before.push_back(cpuSeconds(reader.pid));
    }
    const auto start = Clock::now();
    const qint64 written = writePaced(to, text, bytesPerSecond, seconds);
    // What is still on its way is part of the load.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double elapsed = msSince(start, Clock::now()) / 1000;
    std::vector<double> perMb;
    for (std::size_t k = 0; k < readers.size(); ++k) {
        const double cpu = cpuSeconds(readers[k].pid) - before[k];
        perMb.push_back(cpu / (written / 1e6));
        std::printf("  %-8s %.2f CPU s over %.1f s (%.2f %% of one core) for %.2f MB: %.3f CPU s "
                    "per MB\n",
                    readers[k].who, cpu, elapsed, 100 * cpu / elapsed, written / 1e6, perMb.back());
    }
    std::fflush(stdout);
    return perMb;
}

QList<qint64> processTree(qint64 pid) {
    QList<qint64> tree{pid};
    for (qsizetype i = 0; i < tree.size(); ++i) {
        const QDir tasks(u"/proc/%1/task"_s.arg(tree[i]));
        for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile children(tasks.filePath(task + u"/children"_s));
            if (!children.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray &child : children.readAll().split(' ')) {
                if (const qint64 id = child.trimmed().toLongLong(); id > 0 && !tree.contains(id))
                    tree.append(id);
            }
        }
    }
    return tree;
}

namespace {

double ownCpuSeconds(qint64 pid) {
    // The scheduler's own count in nanoseconds, summed over the threads: the clock-tick figures
    // of /proc/PID/stat are too coarse for a tenth of a second per MB.
    const QDir tasks(u"/proc/%1/task"_s.arg(pid));
    qint64 ns = 0;
    bool counted = false;
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task + u"/schedstat"_s));
        if (schedstat.open(QIODevice::ReadOnly)) {
            ns += schedstat.readAll().split(' ').value(0).toLongLong();
            counted = true;
        }
    }
    if (counted)
        return ns / 1e9;
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold blanks: state is the first, utime the 12th.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / sysconf(_SC_CLK_TCK);
}

double ownStatusMb(qint64 pid, const char *key) {
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const qsizetype length = qsizetype(std::strlen(key));
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key) && line.size() > length && line[length] == ':')
            return line.mid(length + 1).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

} // namespace

double cpuSeconds(qint64 pid) {
    double seconds = 0;
    for (const qint64 id : processTree(pid))
        seconds += ownCpuSeconds(id);
    return seconds;
}

double statusMb(qint64 pid, const char *key) {
    double mb = 0;
    for (const qint64 id : processTree(pid))
        mb += ownStatusMb(id, key);
    return mb;
}

bool holdsOpen(qint64 pid, const QString &device) {
    const QDir fds(u"/proc/%1/fd"_s.arg(pid));
    for (const QString &fd :
         fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        if (QFile::symLinkTarget(fds.filePath(fd)) == device)
            return true;
    }
    return false;
}

void discardPending(const QString &device) {
    const int fd = ::open(qPrintable(device), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        tcflush(fd, TCIOFLUSH);
        ::close(fd);
    }
}

quint16 freeTcpPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(s);
    return port;
}
