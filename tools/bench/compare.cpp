// Pelora side by side with its peers: the same recorded receiver text through the same two
// pseudo-terminal pairs, first into the peers (socat relaying from one pair to the other, gpsd
// reading), then into Pelora. Pelora runs as a separate process, so that CPU and memory are
// taken from outside exactly as for the peers.
//
//   pelora-bench-compare [--only socat,gpsd,pelora,limits] [--seconds S] [--mb MB]
//                        [--hold-mb MB] [--stalled-mb MB] [--burst-mb MB]
//                        [--sentences N] [--log FILE]
//
// Pelora's process is this tool again:
//
//   pelora-bench-compare --child IN_DEVICE OUT_DEVICE INTERVAL [probe]
//
// which creates the real main window offscreen and works it only through its widgets, found by
// name, as a user would: port lists, "Port aktivieren" buttons and interval options. OUT_DEVICE
// "-" leaves the output port closed. With "probe" it times its event loop and its poll ticks.
// It prints "ready" once the ports are open, answers "mark" (start the figures afresh) and
// "stop" (print the figures and end) on its standard input.
#include "io/backlog.h"
#include "ptypair.h"
#include "rawline.h"
#include "testdesktop.h"
#include "windows/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kSentenceGapMs = 4;
constexpr int kWarmupSentences = 10;

// ---------------------------------------------------------------------------------------------
// The child: Pelora's main window, worked through its widgets.

// Times the poll ticks: timer events of a timer running at the chosen poll interval.
class ProbeApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool probing = false;
    int pollInterval = 0;
    const QTimer *ownTimer = nullptr;
    double longestTick = 0;
    int ticks = 0;

    bool notify(QObject *receiver, QEvent *event) override {
        const auto *timer = probing && event->type() == QEvent::Timer
                                ? qobject_cast<const QTimer *>(receiver)
                                : nullptr;
        if (!timer || timer == ownTimer || timer->interval() != pollInterval)
            return QApplication::notify(receiver, event);
        QElapsedTimer stopwatch;
        stopwatch.start();
        const bool handled = QApplication::notify(receiver, event);
        const double ms = stopwatch.nsecsElapsed() / 1e6;
        longestTick = std::max(longestTick, ms);
        ++ticks;
        std::printf("tick %d %.2f\n", ticks, ms);
        std::fflush(stdout);
        return handled;
    }
};

template <typename T> T *widget(QWidget &form, const char *name) {
    T *found = form.findChild<T *>(QLatin1String(name));
    if (!found) {
        std::printf("failed: no widget %s\n", name);
        std::fflush(stdout);
        std::exit(1);
    }
    return found;
}

int childMain(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform's notice about size hints says nothing about the figures.
    static const QtMessageHandler defaultHandler = qInstallMessageHandler(nullptr);
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (!message.contains(u"propagateSizeHints"_s))
                defaultHandler(type, context, message);
        });
    ProbeApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: %s --child IN_DEVICE OUT_DEVICE INTERVAL [probe]\n", argv[0]);
        return 2;
    }
    const QString input = args[2];
    const QString output = args[3];
    const int interval = args[4].toInt();
    const bool probe = args.size() > 5 && args[5] == u"probe"_s;

    // Map addresses are built as usual but not loaded: the figures are the monitor's, not the
    // web engine's.
    TestDesktop desktop;
    Form1 form(desktop.services());
    form.show();

    const QList<int> intervals{200, 500, 800, 1000, 5000};
    const qsizetype option = intervals.indexOf(interval);
    if (option < 0) {
        std::printf("failed: no interval option %d\n", interval);
        return 1;
    }
    widget<QAbstractButton>(form, qPrintable(u"Option1_%1"_s.arg(option)))->click();
    widget<QComboBox>(form, "Combo1")->setCurrentText(input);
    widget<QAbstractButton>(form, "Command1")->click();
    if (output != u"-"_s) {
        widget<QComboBox>(form, "Combo7")->setCurrentText(output);
        widget<QAbstractButton>(form, "Command5")->click();
    }
    // A port that does not open says so in a message box.
    for (const QMessageBox *box : form.findChildren<QMessageBox *>()) {
        if (box->isVisible()) {
            std::printf("failed: %s\n", qPrintable(box->text()));
            return 1;
        }
    }

    // The loop's lateness: a 1 ms timer that fires late was held up by whatever ran before it.
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceBeat;
    double longestStall = 0;
    double longestStallOverall = 0;
    if (probe) {
        app.pollInterval = interval;
        app.ownTimer = &heartbeat;
        QObject::connect(&heartbeat, &QTimer::timeout, &app, [&] {
            // From the first beat on: before it, the window was still being laid out.
            const double stall = sinceBeat.isValid() ? sinceBeat.nsecsElapsed() / 1e6 - 1 : 0;
            sinceBeat.start();
            longestStall = std::max(longestStall, stall);
            longestStallOverall = std::max(longestStallOverall, stall);
        });
        heartbeat.start(1);
        app.probing = true;
    }

    double longestTickOverall = 0;
    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&commands, &QSocketNotifier::activated, &app, [&] {
        char chunk[256];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) { // the benchmark has gone
            app.quit();
            return;
        }
        pending.append(chunk, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray command = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            longestTickOverall = std::max(longestTickOverall, app.longestTick);
            if (command == "mark") {
                longestStall = app.longestTick = 0;
                std::printf("marked %d\n", app.ticks);
            } else if (command == "stop") {
                app.probing = false;
                std::printf("stall %.2f %.2f\n", longestStall, longestStallOverall);
                std::printf("longtick %.2f %.2f\n", app.longestTick, longestTickOverall);
                std::printf("stopped\n");
                app.quit();
            }
            std::fflush(stdout);
        }
    });

    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

// ---------------------------------------------------------------------------------------------
// The benchmark's side: receiver, consumer, the processes under test and what is read about
// them from /proc.

// The recorded receiver text: the log without the comment lines its collector put on top.
QByteArray receiverText(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray text;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (!line.startsWith('#'))
            text += line;
    }
    return text;
}

QByteArray repeatTo(const QByteArray &text, qint64 size) {
    QByteArray out;
    out.reserve(size);
    while (out.size() < size)
        out += text.left(size - out.size());
    return out;
}

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

// CPU seconds (user and system, every thread) of a process.
double cpuSeconds(qint64 pid) {
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

// A line of /proc/PID/status such as VmHWM, in MB.
double statusMb(qint64 pid, const char *key) {
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key) && line.size() > qsizetype(strlen(key)) &&
            line[strlen(key)] == ':')
            return line.mid(strlen(key) + 1).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

// Whether a process holds the device open.
bool holdsOpen(qint64 pid, const QString &device) {
    const QDir fds(u"/proc/%1/fd"_s.arg(pid));
    for (const QString &fd :
         fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        if (QFile::symLinkTarget(fds.filePath(fd)) == device)
            return true;
    }
    return false;
}

// Throws away whatever a pseudo-terminal end still holds from an earlier part.
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

// ---- the figures of one part

struct Latency {
    double p50 = NAN, p99 = NAN, max = NAN;
    int measured = 0;
    int missing = 0;
    bool exact = false;
};

// Sentences one by one, kSentenceGapMs apart; each one's latency runs from just before its
// write to the arrival of its line end at the consumer.
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

// Writes everything as fast as the reader at the far end takes it; the seconds until it has all
// been read there, none if it was not.
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

// Writes at a steady rate, in 10 ms steps, for the given time; the bytes written.
qint64 writePaced(const QString &to, const QByteArray &text, double bytesPerSecond,
                  double seconds) {
    const int fd = openWriter(to);
    const auto start = Clock::now();
    const auto step = std::chrono::milliseconds(10);
    qint64 written = 0;
    qsizetype at = 0;
    for (int k = 1; k * 0.01 <= seconds + 1e-9; ++k) {
        std::this_thread::sleep_until(start + k * step);
        const qint64 due = qint64(k * 0.01 * bytesPerSecond);
        while (written < due) {
            const qsizetype piece = std::min<qsizetype>(due - written, text.size() - at);
            if (!writeAll(fd, text.constData() + at, piece)) {
                ::close(fd);
                return written;
            }
            written += piece;
            at = (at + piece) % text.size();
        }
    }
    ::close(fd);
    return written;
}

// ---- the processes under test

void endProcess(QProcess &process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool startSocatRelay(QProcess &relay, const QString &from, const QString &to) {
    relay.setProgram(u"socat"_s);
    // One way only, as Pelora forwards; raw on both ends, as Pelora's ports.
    relay.setArguments({u"-d"_s, u"-d"_s, u"-u"_s, u"open:%1,raw,echo=0"_s.arg(from),
                        u"open:%1,raw,echo=0"_s.arg(to)});
    relay.setReadChannel(QProcess::StandardError);
    relay.start();
    if (!relay.waitForStarted(5000))
        return false;
    QByteArray log;
    while (!log.contains("starting data transfer loop")) {
        if (!relay.waitForReadyRead(5000)) {
            std::fprintf(stderr, "socat relay did not come up: %s\n", log.constData());
            endProcess(relay);
            return false;
        }
        log += relay.readAllStandardError();
    }
    return true;
}

// Pelora's process, and the lines it prints, read as they come.
class Child {
public:
    bool start(const QString &from, const QString &to, int interval, bool probe) {
        QStringList args{u"--child"_s, from, to, QString::number(interval)};
        if (probe)
            args << u"probe"_s;
        m_process.setProgram(QCoreApplication::applicationFilePath());
        m_process.setArguments(args);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        if (!env.contains(u"XDG_RUNTIME_DIR"_s))
            env.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        const QByteArray first = line(30000);
        if (first != "ready") {
            std::fprintf(stderr, "Pelora did not come up: %s\n", first.constData());
            endProcess(m_process);
            return false;
        }
        return true;
    }
    // The next line the child prints, empty when none comes in time.
    QByteArray line(int timeoutMs) {
        QElapsedTimer waited;
        waited.start();
        while (!m_process.canReadLine()) {
            const int left = std::max(0, timeoutMs - int(waited.elapsed()));
            if (!m_process.waitForReadyRead(left))
                return {};
        }
        return m_process.readLine().trimmed();
    }
    void send(const char *command) {
        m_process.write(command);
        m_process.write("\n");
        m_process.waitForBytesWritten(5000);
    }
    qint64 pid() const { return m_process.processId(); }
    void end() { endProcess(m_process); }

private:
    QTemporaryDir m_runtime; // Qt wants a private runtime folder and warns without one
    QProcess m_process;
};

// ---- limits: what a stalled client and a flood from the network cost

// A listening TCP socket on the loopback, for a receiver that Pelora connects to.
class Listener {
public:
    Listener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&at), sizeof at);
        ::listen(m_fd, 4);
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&at), &length);
        m_port = ntohs(at.sin_port);
    }
    ~Listener() { ::close(m_fd); }
    quint16 port() const { return m_port; }
    // The next connection, -1 when none comes in time.
    int accept(int timeoutMs) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return -1;
        return ::accept(m_fd, nullptr, nullptr);
    }

private:
    int m_fd = -1;
    quint16 m_port = 0;
};

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

struct StalledClientFigures {
    double growthMb = NAN; // resident memory after, less before
    double peakGrowthMb = NAN;
    qint64 lines = 0;
};

// One receiver line per read, as a real receiver delivers them, forwarded to a TCP client that
// never reads: its backlog fills to the limit, and resident memory must grow by about that.
StalledClientFigures measureStalledClient(Child &pelora, const QString &receiver,
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

struct BurstFigures {
    double seconds = NAN;
    double peakMb = NAN;
    double longestStallMs = NAN;
};

// Random bytes from a network receiver as fast as Pelora takes them, while its window thread is
// timed: memory must stay bounded and the window must keep answering.
BurstFigures measureBurst(Child &pelora, Listener &receiver, qint64 bytes) {
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

// ---- the report

std::optional<double> ratio(std::optional<double> pelora, std::optional<double> peer) {
    if (!pelora || !peer || *peer <= 0 || std::isnan(*peer) || std::isnan(*pelora))
        return std::nullopt;
    return *pelora / *peer;
}

struct Row {
    QString what;
    QString peerName;
    std::optional<double> peer;
    std::optional<double> pelora;
    int decimals = 2;
};

// decimals < 0: a yes (1) or no (0).
QString figure(std::optional<double> value, int decimals) {
    if (!value || std::isnan(*value))
        return u"-"_s;
    if (decimals < 0)
        return *value != 0 ? u"yes"_s : u"no"_s;
    return QString::number(*value, 'f', decimals);
}

void printTable(const std::vector<Row> &rows) {
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

void printLatency(const char *who, const Latency &l) {
    std::printf("  %-7s p50 %.3f ms, p99 %.3f ms, max %.3f ms over %d sentences%s%s\n", who, l.p50,
                l.p99, l.max, l.measured,
                l.missing ? qPrintable(u", %1 line ends missing"_s.arg(l.missing)) : "",
                l.exact ? ", byte-exact" : ", NOT byte-exact");
}

void printFlood(const char *who, const Flood &f, qint64 size) {
    std::printf("  %-7s %.2f s for %.1f MB, %.1f MB/s, %lld of %lld bytes arrived, %s\n", who,
                f.seconds, size / 1e6, f.arrived / 1e6 / f.seconds, qlonglong(f.arrived),
                qlonglong(size), f.exact ? "byte-exact" : "NOT byte-exact");
}

} // namespace

int main(int argc, char *argv[]) {
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return childMain(argc, argv);

    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(
        u"Pelora side by side with socat (relay) and gpsd (reader) on the same pseudo-terminals "
        "and the same recorded receiver text. Ratios are Pelora/peer."_s);
    options.addHelpOption();
    options.addOptions({
        {u"only"_s, u"Parts to run, comma-separated: socat, gpsd, pelora, limits (default all)."_s,
         u"parts"_s, u"socat,gpsd,pelora,limits"_s},
        {u"stalled-mb"_s, u"Megabytes of one-line chunks for a stalled TCP client (default 3)."_s,
         u"MB"_s, u"3"_s},
        {u"burst-mb"_s, u"Megabytes of random bytes from a network receiver (default 200)."_s,
         u"MB"_s, u"200"_s},
        {u"seconds"_s, u"Seconds of the CPU part at 100 KB/s (default 20)."_s, u"s"_s, u"20"_s},
        {u"mb"_s, u"Megabytes of the flood (default 8)."_s, u"MB"_s, u"8"_s},
        {u"hold-mb"_s,
         u"Megabytes written into Pelora's receive log for the stall part; it holds at most "
         "8.4 (default 8.4, full)."_s,
         u"MB"_s, u"8.4"_s},
        {u"sentences"_s, u"Sentences of the latency part (default 1500)."_s, u"n"_s, u"1500"_s},
        {u"log"_s, u"Recorded receiver log, repeated as needed."_s, u"file"_s,
         QStringLiteral(PELORA_TESTDATA "/gpsdf.log")},
    });
    options.process(app);
    const QStringList parts = options.value(u"only"_s).split(u',', Qt::SkipEmptyParts);
    const bool runSocat = parts.contains(u"socat"_s);
    const bool runGpsd = parts.contains(u"gpsd"_s);
    const bool runPelora = parts.contains(u"pelora"_s);
    const bool runLimits = parts.contains(u"limits"_s);
    const double seconds = options.value(u"seconds"_s).toDouble();
    const qint64 floodBytes = qint64(options.value(u"mb"_s).toDouble() * 1e6);
    const qint64 holdBytes = qint64(options.value(u"hold-mb"_s).toDouble() * 1e6);
    const int sentenceCount = options.value(u"sentences"_s).toInt();
    const double rate = 100e3;
    const int pollInterval = 200;
    const int holdInterval = 5000; // the longest: the log is emptied only every 100 s

    const QByteArray text = receiverText(options.value(u"log"_s));
    const QList<QByteArray> sentences = sentencesOf(text);
    if (sentences.isEmpty()) {
        std::fprintf(stderr, "no sentences in %s\n", qPrintable(options.value(u"log"_s)));
        return 1;
    }
    const QByteArray floodData = repeatTo(text, floodBytes);

    // The receiver writes to input.first(); the relay reads input.second() and writes
    // output.first(); the consumer reads output.second().
    PtyPair input;
    PtyPair output;
    if (!input.start() || !output.start()) {
        std::fprintf(stderr, "socat: %s%s\n", qPrintable(input.error()),
                     qPrintable(output.error()));
        return 1;
    }
    const auto fresh = [&] {
        for (const QString &end : {input.first(), input.second(), output.first(), output.second()})
            discardPending(end);
    };

    double load[3] = {};
    getloadavg(load, 3);
    std::printf("pelora-bench-compare: %s without comments (%lld bytes, %lld sentences), "
                "%ld cores, load average %.2f\n",
                qPrintable(QFileInfo(options.value(u"log"_s)).fileName()), qlonglong(text.size()),
                qlonglong(sentences.size()), sysconf(_SC_NPROCESSORS_ONLN), load[0]);
    std::printf("lines: receiver -> %s ~ %s -> relay -> %s ~ %s -> consumer\n",
                qPrintable(input.first()), qPrintable(input.second()), qPrintable(output.first()),
                qPrintable(output.second()));
    std::fflush(stdout);

    Latency socatLatency, peloraLatency;
    Flood socatFlood, peloraFlood;
    std::optional<double> gpsdCpu, peloraCpu, idleRss, floodHwm, stall, stallTick, fillStall;
    std::optional<double> socatHwm;

    if (runSocat) {
        std::printf("\nsocat relay (socat -u open:IN,raw,echo=0 open:OUT,raw,echo=0)\n");
        std::fflush(stdout);
        QProcess relay;
        fresh();
        if (startSocatRelay(relay, input.second(), output.first())) {
            socatLatency = measureLatency(input.first(), output.second(), sentences, sentenceCount);
            printLatency("latency", socatLatency);
            socatFlood = measureFlood(input.first(), output.second(), floodData, true);
            socatHwm = statusMb(relay.processId(), "VmHWM");
            printFlood("flood", socatFlood, floodBytes);
            std::printf("  peak resident memory %.1f MB\n", *socatHwm);
            endProcess(relay);
        }
    }

    const auto cpuPart = [&](const char *who, qint64 pid) -> std::optional<double> {
        const double before = cpuSeconds(pid);
        const auto start = Clock::now();
        const qint64 written = writePaced(input.first(), text, rate, seconds);
        // What is still on its way is part of the load.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const double cpu = cpuSeconds(pid) - before;
        const double elapsed = msSince(start, Clock::now()) / 1000;
        std::printf("  %-7s %.2f CPU s over %.1f s (%.2f %% of one core) for %.2f MB: %.3f CPU s "
                    "per MB\n",
                    who, cpu, elapsed, 100 * cpu / elapsed, written / 1e6, cpu / (written / 1e6));
        return cpu / (written / 1e6);
    };

    if (runGpsd) {
        std::printf("\ngpsd reading (gpsd -N -n -b), %.0f KB/s for %.0f s\n", rate / 1e3, seconds);
        std::fflush(stdout);
        const QString socket = QDir::temp().filePath(u"pelora-bench-gpsd-%1.sock"_s.arg(getpid()));
        QProcess gpsd;
        gpsd.setProgram(u"gpsd"_s);
        // Its own control socket and port, so that a system gpsd is no matter.
        gpsd.setArguments({u"-N"_s, u"-n"_s, u"-b"_s, u"-F"_s, socket, u"-S"_s,
                           QString::number(freeTcpPort()), input.second()});
        gpsd.setProcessChannelMode(QProcess::MergedChannels);
        fresh();
        gpsd.start();
        bool up = gpsd.waitForStarted(5000);
        QElapsedTimer waited;
        waited.start();
        while (up && !holdsOpen(gpsd.processId(), input.second())) {
            if (gpsd.state() != QProcess::Running || waited.elapsed() > 5000) {
                up = false;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (up) {
            gpsdCpu = cpuPart("cpu", gpsd.processId());
            if (gpsd.state() != QProcess::Running)
                gpsdCpu.reset();
        }
        if (!gpsdCpu)
            std::fprintf(stderr, "gpsd did not run: %s %s\n", qPrintable(gpsd.errorString()),
                         gpsd.readAll().constData());
        endProcess(gpsd);
        QFile::remove(socket);
    }

    if (runPelora) {
        std::printf("\nPelora (main window offscreen, map page not loaded), poll interval %d ms\n",
                    pollInterval);
        std::fflush(stdout);
        fresh();
        Child pelora;
        if (pelora.start(input.second(), output.first(), pollInterval, false)) {
            // Idle: the ports are open and nothing has arrived yet.
            std::this_thread::sleep_for(std::chrono::seconds(1));
            idleRss = statusMb(pelora.pid(), "VmRSS");
            std::printf("  idle resident memory %.1f MB\n", *idleRss);
            peloraLatency =
                measureLatency(input.first(), output.second(), sentences, sentenceCount);
            printLatency("latency", peloraLatency);
            peloraFlood = measureFlood(input.first(), output.second(), floodData, true);
            floodHwm = statusMb(pelora.pid(), "VmHWM");
            printFlood("flood", peloraFlood, floodBytes);
            std::printf("  peak resident memory %.1f MB\n", *floodHwm);
            pelora.end();
        }

        std::printf("  CPU: %.0f KB/s for %.0f s, input port only\n", rate / 1e3, seconds);
        std::fflush(stdout);
        fresh();
        Child reader;
        if (reader.start(input.second(), u"-"_s, pollInterval, false)) {
            peloraCpu = cpuPart("cpu", reader.pid());
            reader.end();
        }

        // The receive log fills up within the first cycle of 20 ticks; the stall that counts is
        // the longest from then on, through the tick that rebuilds the type list (the 11th).
        std::printf("  stall: %.0f MB as fast as taken, input port only, poll interval %d ms\n",
                    holdBytes / 1e6, holdInterval);
        std::fflush(stdout);
        fresh();
        Child holder;
        if (holder.start(input.second(), u"-"_s, holdInterval, true)) {
            int ticks = 0;
            const auto readTicks = [&](int timeoutMs) {
                const QByteArray line = holder.line(timeoutMs);
                if (line.startsWith("tick "))
                    ticks = line.split(' ').value(1).toInt();
                return line;
            };
            const std::optional<double> fillSeconds =
                fillInput(input.first(), input.second(), repeatTo(text, holdBytes));
            while (!readTicks(0).isEmpty()) {
            }
            // Emptied at the 20th tick: what is measured must end before it.
            const bool holding = fillSeconds && ticks < 18;
            if (fillSeconds)
                std::printf("  filled in %.1f s (%.1f MB/s), after %d ticks\n", *fillSeconds,
                            holdBytes / 1e6 / *fillSeconds, ticks);
            int markedAt = 0;
            if (holding) {
                holder.send("mark");
                markedAt = ticks;
                // Until two ticks after the mark and past the type list's rebuild.
                while (ticks < std::max(markedAt + 2, 12)) {
                    if (readTicks(3 * holdInterval).isEmpty())
                        break;
                }
                if (markedAt >= 11)
                    std::printf("  (the type list was rebuilt while filling, not counted)\n");
            }
            holder.send("stop");
            QByteArray line;
            while (!(line = readTicks(10000)).isEmpty() && line != "stopped") {
                const QList<QByteArray> f = line.split(' ');
                if (f.value(0) == "stall") {
                    stall = f.value(1).toDouble();
                    fillStall = f.value(2).toDouble();
                } else if (f.value(0) == "longtick") {
                    stallTick = f.value(1).toDouble();
                }
            }
            if (!holding || ticks >= 20) {
                stall.reset();
                stallTick.reset();
            }
            if (stall)
                std::printf("  holding %.0f MB from tick %d to %d: longest stall %.1f ms, longest "
                            "poll tick %.1f ms (whole run: longest stall %.1f ms)\n",
                            holdBytes / 1e6, markedAt, ticks, *stall, *stallTick,
                            fillStall.value_or(NAN));
            else
                std::printf("  the receive log did not hold %.0f MB long enough\n",
                            holdBytes / 1e6);
            holder.end();
        }
    }

    StalledClientFigures stalled;
    BurstFigures burst;
    if (runLimits) {
        const qint64 stalledBytes = qint64(options.value(u"stalled-mb"_s).toDouble() * 1e6);
        std::printf("\nPelora's limits: %.0f MB as one-line chunks to a TCP client that never "
                    "reads\n",
                    stalledBytes / 1e6);
        std::fflush(stdout);
        fresh();
        const quint16 outputPort = freeTcpPort();
        Child forwarder;
        if (forwarder.start(input.second(), u"tcp://127.0.0.1:%1"_s.arg(outputPort), pollInterval,
                            false)) {
            stalled =
                measureStalledClient(forwarder, input.first(), outputPort, sentences, stalledBytes);
            std::printf("  %lld lines: resident memory grew by %.1f MB, at its peak by %.1f MB "
                        "(backlog limit %.1f MB)\n",
                        qlonglong(stalled.lines), stalled.growthMb, stalled.peakGrowthMb,
                        Backlog::kLimit / 1e6);
            forwarder.end();
        }

        const qint64 burstBytes = qint64(options.value(u"burst-mb"_s).toDouble() * 1e6);
        std::printf("  %.0f MB of random bytes from a TCP receiver as fast as taken, poll "
                    "interval %d ms\n",
                    burstBytes / 1e6, pollInterval);
        std::fflush(stdout);
        Listener receiver;
        Child reader;
        if (reader.start(u"tcp://127.0.0.1:%1"_s.arg(receiver.port()), u"-"_s, pollInterval,
                         true)) {
            burst = measureBurst(reader, receiver, burstBytes);
            std::printf("  sent in %.1f s; peak resident memory %.1f MB; longest stall of the "
                        "window's thread %.1f ms\n",
                        burst.seconds, burst.peakMb, burst.longestStallMs);
            reader.end();
        }
    }

    const auto optIf = [](bool ran, double v) -> std::optional<double> {
        return ran && !std::isnan(v) ? std::optional(v) : std::nullopt;
    };
    std::vector<Row> rows{
        {u"latency p50, ms"_s, u"socat"_s, optIf(runSocat, socatLatency.p50),
         optIf(runPelora, peloraLatency.p50), 3},
        {u"latency p99, ms"_s, u"socat"_s, optIf(runSocat, socatLatency.p99),
         optIf(runPelora, peloraLatency.p99), 3},
        {u"latency max, ms"_s, u"socat"_s, optIf(runSocat, socatLatency.max),
         optIf(runPelora, peloraLatency.max), 3},
        {u"flood %1 MB, s to last byte"_s.arg(floodBytes / 1e6), u"socat"_s,
         optIf(runSocat, socatFlood.seconds), optIf(runPelora, peloraFlood.seconds), 2},
        {u"flood byte-exact"_s, u"socat"_s,
         optIf(runSocat, std::isnan(socatFlood.seconds) ? NAN : double(socatFlood.exact)),
         optIf(runPelora, std::isnan(peloraFlood.seconds) ? NAN : double(peloraFlood.exact)), -1},
        {u"CPU s per MB, %1 KB/s, %2 ms poll"_s.arg(rate / 1e3).arg(pollInterval), u"gpsd"_s,
         gpsdCpu, peloraCpu, 3},
        {u"peak resident MB during the flood"_s, {}, {}, floodHwm, 1},
        {u"idle resident MB, ports open"_s, {}, {}, idleRss, 1},
        {u"longest stall, ms, log holding %1 MB"_s.arg(holdBytes / 1e6), {}, {}, stall, 1},
        {u"longest poll tick, ms, log holding %1 MB"_s.arg(holdBytes / 1e6), {}, {}, stallTick, 1},
        {u"longest stall, ms, filling the log included"_s, {}, {}, fillStall, 1},
        {u"resident MB grown, stalled client, 1-line chunks"_s,
         {},
         {},
         optIf(runLimits, stalled.growthMb),
         1},
        {u"peak resident MB, %1 MB burst from TCP"_s.arg(options.value(u"burst-mb"_s)),
         {},
         {},
         optIf(runLimits, burst.peakMb),
         1},
        {u"longest stall, ms, during the burst"_s,
         {},
         {},
         optIf(runLimits, burst.longestStallMs),
         1},
    };
    printTable(rows);
    return 0;
}
