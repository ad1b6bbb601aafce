// Runs pelora-sim on a real pseudo-terminal or for TCP clients on loopback and checks its stream
// with the monitor's own sentence code, so that what the simulator sends is what the monitor
// accepts (or, for faults, rejects).

#include "logic/sentence.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct SimRun {
    QByteArray bytes;
    int exitCode = -1;
    int reads = 0;
    qint64 lastByteMsecs = 0; // after we opened the line
};

// Starts the simulator on its own pseudo-terminal and reads until it closes the line.
SimRun runSimulator(const QStringList &arguments) {
    SimRun run;
    QProcess sim;
    sim.start(QStringLiteral(PELORA_SIM_PATH), arguments);
    QDeadlineTimer deadline(60000);
    while (!sim.canReadLine() && sim.waitForReadyRead(int(deadline.remainingTime()))) {
    }
    const QByteArray path = sim.readLine().trimmed();
    const int fd = ::open(path.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        termios raw{};
        tcgetattr(fd, &raw);
        cfmakeraw(&raw);
        // TCSANOW, not TCSAFLUSH: what was sent before we opened belongs to the stream.
        tcsetattr(fd, TCSANOW, &raw);
        QElapsedTimer clock;
        clock.start();
        char buffer[4096];
        while (!deadline.hasExpired()) {
            pollfd readable{fd, POLLIN, 0};
            poll(&readable, 1, 100);
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count > 0) {
                run.bytes.append(buffer, count);
                ++run.reads;
                run.lastByteMsecs = clock.elapsed();
            } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
                break; // EIO: the simulator has closed its end
            }
        }
        ::close(fd);
    }
    if (!sim.waitForFinished(10000))
        sim.kill();
    if (sim.exitStatus() == QProcess::NormalExit)
        run.exitCode = sim.exitCode();
    return run;
}

// Starts the simulator for TCP clients on a free loopback port; the address it prints, as
// tcp://127.0.0.1:PORT, is its first line.
QByteArray startTcpSimulator(QProcess &sim, const QStringList &arguments) {
    sim.start(QStringLiteral(PELORA_SIM_PATH),
              arguments + QStringList{u"--tcp"_s, u"0"_s, u"--tcp-bind"_s, u"127.0.0.1"_s});
    QDeadlineTimer deadline(60000);
    while (!sim.canReadLine() && sim.waitForReadyRead(int(deadline.remainingTime()))) {
    }
    return sim.readLine().trimmed();
}

// A connected client socket, or -1. A small receive buffer makes a client that never reads
// fall behind soon.
int connectTcp(const QByteArray &address, int receiveBuffer = 0) {
    const qsizetype colon = address.lastIndexOf(':');
    if (!address.startsWith("tcp://127.0.0.1:") || colon < 0)
        return -1;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(quint16(address.mid(colon + 1).toUInt()));
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until the simulator closes the connection, or until enough bytes came.
QByteArray readTcp(int fd, qsizetype enough = std::numeric_limits<qsizetype>::max()) {
    QByteArray bytes;
    QDeadlineTimer deadline(60000);
    char buffer[65536];
    while (bytes.size() < enough && !deadline.hasExpired()) {
        pollfd readable{fd, POLLIN, 0};
        poll(&readable, 1, 100);
        const ssize_t count = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR))
            break;
        if (count > 0)
            bytes.append(buffer, count);
    }
    return bytes;
}

QByteArray readLog(const QString &name) {
    QFile file(QStringLiteral(PELORA_TESTDATA "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The sentences of a stream that must consist of whole CR LF lines, each starting a new epoch at
// its GGA.
QList<QStringList> epochsOf(const QByteArray &bytes) {
    QList<QStringList> epochs;
    QStringList lines = QString::fromLatin1(bytes).split(u"\r\n"_s);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (const QString &line : std::as_const(lines)) {
        if (line.mid(3, 3) == u"GGA" || epochs.isEmpty())
            epochs.append(QStringList());
        epochs.last().append(line);
    }
    return epochs;
}

const QStringList kBase{u"--baud"_s, u"0"_s, u"--seed"_s, u"11"_s, u"--duration"_s, u"30"_s};
// The same epochs without waiting for their times: what they hold does not depend on it.
const QStringList kBurst = kBase + QStringList{u"--burst"_s};

} // namespace

class tst_SimStream : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void generatedStream_data();
    void generatedStream();
    void noFix();
    void otherTalker();
    void systemsAndSignals_data();
    void systemsAndSignals();
    void faults_data();
    void faults();
    void tcpClients_data();
    void tcpClients();
    void tcpClientThatReadsNothingHoldsUpNoOne();
    void replay_data();
    void replay();
    void replayLoop();
    void pacedReplayIsNotFasterThanTheBaudRate();
    void badOptions_data();
    void badOptions();
    void sigtermRemovesTheLink();

private:
    QStringList m_reference; // clean sentences the fault runs are compared with
    const QStringList m_faultBase = kBurst + QStringList{u"--start"_s, u"2026-12-31T23:59:58Z"_s,
                                                         u"--hz"_s,    u"10"_s,
                                                         u"--count"_s, u"20"_s};
};

void tst_SimStream::initTestCase() {
    QVERIFY2(QFile::exists(QStringLiteral(PELORA_SIM_PATH)), PELORA_SIM_PATH);
    const SimRun run = runSimulator(m_faultBase);
    QCOMPARE(run.exitCode, 0);
    for (const QStringList &epoch : epochsOf(run.bytes))
        m_reference += epoch;
    QVERIFY(m_reference.size() >= 20 * 6);
}

void tst_SimStream::generatedStream_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("hz");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("hemispheres");

    QTest::newRow("1 Hz over New Year's midnight")
        << QStringList() << u"2026-12-31T23:59:57Z"_s << 1 << 5 << u"NE"_s;
    QTest::newRow("5 Hz south-west into March") << QStringList{u"--route"_s, u"montevideo"_s}
                                                << u"2027-02-28T23:59:59Z"_s << 5 << 10 << u"SW"_s;
    QTest::newRow("10 Hz into a leap day")
        << QStringList() << u"2028-02-28T23:59:59.500Z"_s << 10 << 10 << u"NE"_s;
}

void tst_SimStream::generatedStream() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, start);
    QFETCH(int, hz);
    QFETCH(int, count);
    QFETCH(QString, hemispheres);

    const SimRun run = runSimulator(kBurst + arguments +
                                    QStringList{u"--start"_s, start, u"--hz"_s, QString::number(hz),
                                                u"--count"_s, QString::number(count)});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.bytes.endsWith("\r\n"));
    const QList<QStringList> epochs = epochsOf(run.bytes);
    QCOMPARE(epochs.size(), count);

    const QDateTime first = QDateTime::fromString(start, Qt::ISODateWithMs);
    for (int i = 0; i < count; ++i) {
        const QStringList &lines = epochs[i];
        for (const QString &line : lines) {
            // A whole sentence: extraction finds exactly the line, the checksum is right.
            const QString received = line + u"\r\n"_s;
            QCOMPARE(ExtractSentence(received, line.left(6)).value_or(QStringView()).toString(),
                     line);
            QCOMPARE(transmittedChecksum(line), ComputeChecksum(line));
        }
        QStringList types;
        for (const QString &line : lines)
            types += line.mid(3, 3);
        const qsizetype gsvCount = types.count(u"GSV"_s);
        QVERIFY(gsvCount >= 1);
        QStringList expectedTypes{u"GGA"_s, u"GSA"_s};
        for (qsizetype k = 0; k < gsvCount; ++k)
            expectedTypes += u"GSV"_s;
        expectedTypes += QStringList{u"RMC"_s, u"VTG"_s, u"GLL"_s};
        QCOMPARE(types, expectedTypes);

        const QDateTime utc = first.addMSecs(qint64(i) * 1000 / hz).toTimeZone(QTimeZone::utc());
        const QString time = utc.toString(u"hhmmss.zzz"_s).chopped(1);
        const QString buffer = lines.join(u"\r\n"_s) + u"\r\n"_s;
        const auto gga = sentenceFields(buffer, kGga.tag, kGga.minimumFields, true);
        QVERIFY(gga);
        QCOMPARE(gga->at(1), time);
        QCOMPARE(gga->at(3) + gga->at(5), hemispheres);
        const auto rmc = sentenceFields(buffer, kRmc.tag, kRmc.minimumFields, true);
        QVERIFY(rmc);
        QCOMPARE(rmc->at(1), time);
        QCOMPARE(rmc->at(2), u"A"_s);
        QCOMPARE(rmc->at(9), utc.toString(u"ddMMyy"_s));
        const auto gsa = sentenceFields(buffer, kGsa.tag, kGsa.minimumFields, true);
        QVERIFY(gsa);
        QCOMPARE(gsa->at(2), u"3"_s);

        // GSV: numbered parts, four satellites each; GSA uses some of them, with leading zeros.
        QStringList inView;
        for (qsizetype k = 0; k < gsvCount; ++k) {
            const QStringList fields = splitFields(lines[2 + k]);
            QCOMPARE(fields[1].toInt(), gsvCount);
            QCOMPARE(fields[2].toInt(), k + 1);
            for (qsizetype f = 4; f < fields.size(); f += 4)
                inView += fields[f];
        }
        QCOMPARE(splitFields(lines[2])[3].toInt(), inView.size());
        int used = 0;
        for (int slot = 3; slot <= 14; ++slot) {
            const QString prn = gsa->at(slot);
            if (prn.isEmpty())
                continue;
            ++used;
            QCOMPARE(prn.size(), 2);
            QVERIFY2(inView.contains(prn), qPrintable(prn));
        }
        QCOMPARE(gga->at(7).toInt(), used);
    }
}

void tst_SimStream::noFix() {
    const SimRun run = runSimulator(kBurst + QStringList{u"--no-fix"_s, u"--count"_s, u"2"_s});
    QCOMPARE(run.exitCode, 0);
    // A real receiver sends exactly these before its first fix: all of them are in this log.
    const QByteArray log = readLog(u"bt451.log"_s);
    QVERIFY(!log.isEmpty());
    for (const QStringList &epoch : epochsOf(run.bytes)) {
        for (const QString &line : epoch) {
            if (line.mid(3, 3) != u"GSV")
                QVERIFY2(log.contains(line.toLatin1()), qPrintable(line));
        }
        const QString buffer = epoch.join(u"\r\n"_s) + u"\r\n"_s;
        const auto gga = sentenceFields(buffer, kGga.tag, kGga.minimumFields, true);
        QVERIFY(gga);
        QCOMPARE(gga->at(6), u"0"_s);
        const auto rmc = sentenceFields(buffer, kRmc.tag, kRmc.minimumFields, true);
        QVERIFY(rmc);
        QCOMPARE(rmc->at(2), u"V"_s);
        QCOMPARE(rmc->at(9), QString());
    }
}

void tst_SimStream::otherTalker() {
    const SimRun run =
        runSimulator(kBurst + QStringList{u"--talker"_s, u"GN"_s, u"--count"_s, u"1"_s});
    QCOMPARE(run.exitCode, 0);
    const QString buffer = QString::fromLatin1(run.bytes);
    // The monitor decodes GP only; a GN stream still carries the GPS satellites under GPGSV.
    QVERIFY(!ExtractSentence(buffer, kGga.tag));
    QVERIFY(!ExtractSentence(buffer, kRmc.tag));
    QVERIFY(sentenceFields(buffer, u"$GNGGA", kGga.minimumFields, true));
    QVERIFY(sentenceFields(buffer, u"$GNRMC", kRmc.minimumFields, true));
    QVERIFY(sentenceFields(buffer, u"$GPGSV", 4, true));
}

void tst_SimStream::systemsAndSignals_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("talker");        // of GGA, GSA, RMC, VTG and GLL
    QTest::addColumn<QStringList>("gsvGroups"); // talker and signal ID of each group, in order
    QTest::addColumn<QString>("systemIds");     // ending the GSAs, one per system
    QTest::addColumn<bool>("sbas");             // an SBAS satellite among GPS's

    QTest::newRow("four systems, two signals each")
        << QStringList{u"--systems"_s, u"gps,glonass,galileo,beidou"_s, u"--signals"_s} << u"GN"_s
        << QStringList{u"GP1"_s, u"GP8"_s, u"GL1"_s, u"GL3"_s,
                       u"GA7"_s, u"GA1"_s, u"GB1"_s, u"GB5"_s}
        << u"1234"_s << false;
    QTest::newRow("all systems, position under GP")
        << QStringList{u"--systems"_s, u"all"_s, u"--talker"_s, u"GP"_s} << u"GP"_s
        << QStringList{u"GP"_s, u"GL"_s, u"GA"_s, u"GB"_s} << u"1234"_s << true;
    QTest::newRow("GPS, two signals") << QStringList{u"--signals"_s} << u"GP"_s
                                      << QStringList{u"GP1"_s, u"GP8"_s} << u"1"_s << false;
}

// Several systems as NMEA 4.10 sends them: a GSA per system ending in its system ID, whole GSV
// groups per system and signal under the system's talker, a second signal on some satellites.
void tst_SimStream::systemsAndSignals() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, talker);
    QFETCH(QStringList, gsvGroups);
    QFETCH(QString, systemIds);
    QFETCH(bool, sbas);

    const SimRun run = runSimulator(kBurst + arguments +
                                    QStringList{u"--start"_s, u"2026-06-21T12:00:00Z"_s, u"--hz"_s,
                                                u"10"_s, u"--count"_s, u"3"_s});
    QCOMPARE(run.exitCode, 0);
    const QList<QStringList> epochs = epochsOf(run.bytes);
    QCOMPARE(epochs.size(), 3);
    const bool signalIds = gsvGroups.first().size() == 3;
    // The IDs each talker's satellites may have: GPS and SBAS, GLONASS, Galileo, BeiDou.
    const QHash<QString, std::pair<int, int>> idRange{
        {u"GP"_s, {1, 64}}, {u"GL"_s, {65, 96}}, {u"GA"_s, {1, 36}}, {u"GB"_s, {1, 63}}};
    const auto fieldsOf = [](const QString &line) {
        QStringList fields = splitFields(line);
        fields.last() = fields.last().section(u'*', 0, 0);
        return fields;
    };

    for (const QStringList &lines : epochs) {
        for (const QString &line : lines)
            QCOMPARE(transmittedChecksum(line), ComputeChecksum(line));
        QCOMPARE(lines.first().left(6), u'$' + talker + u"GGA"_s);
        QCOMPARE(lines[lines.size() - 3].left(6), u'$' + talker + u"RMC"_s);

        // GSV: whole groups of numbered parts, each with the signal ID when asked for.
        QStringList groups;
        QList<QMap<int, int>> snrs; // per group: C/N0 by ID, -1 when not tracked
        qsizetype k = 1 + systemIds.size();
        while (k < lines.size() - 3) {
            QStringList fields = fieldsOf(lines[k]);
            QCOMPARE(fields[0].mid(3), u"GSV"_s);
            const QString group = fields[0].mid(1, 2) + (signalIds ? fields.last() : QString());
            const int parts = fields[1].toInt();
            const int total = fields[3].toInt();
            QMap<int, int> listed;
            for (int part = 1; part <= parts; ++part, ++k) {
                QVERIFY(k < lines.size() - 3);
                fields = fieldsOf(lines[k]);
                QCOMPARE(fields[0].mid(1, 2) + (signalIds ? fields.last() : QString()), group);
                QCOMPARE(fields[1].toInt(), parts);
                QCOMPARE(fields[2].toInt(), part);
                const qsizetype entries = fields.size() - 4 - (signalIds ? 1 : 0);
                QCOMPARE(entries % 4, 0);
                for (qsizetype f = 4; f < 4 + entries; f += 4) {
                    const int id = fields[f].toInt();
                    const auto [lowest, highest] = idRange.value(group.left(2));
                    QVERIFY2(id >= lowest && id <= highest, qPrintable(lines[k]));
                    listed.insert(id, fields[f + 3].isEmpty() ? -1 : fields[f + 3].toInt());
                }
            }
            QCOMPARE(listed.size(), total);
            groups += group;
            snrs += listed;
        }
        QCOMPARE(k, lines.size() - 3);
        QCOMPARE(groups, gsvGroups);
        QCOMPARE(snrs.first().lastKey() >= 33, sbas);

        // A second signal: some satellites of the first group, each weaker on it.
        for (qsizetype g = 1; signalIds && g < snrs.size(); g += 2) {
            QVERIFY(!snrs[g].isEmpty());
            for (auto it = snrs[g].cbegin(); it != snrs[g].cend(); ++it) {
                QVERIFY(snrs[g - 1].contains(it.key()));
                if (it.value() >= 0)
                    QVERIFY(it.value() < snrs[g - 1].value(it.key()));
            }
        }

        // GSA: one per system, its used satellites among the system's in view, the count in GGA.
        int used = 0;
        for (qsizetype s = 0; s < systemIds.size(); ++s) {
            const QStringList fields = fieldsOf(lines[1 + s]);
            QCOMPARE(fields[0], u'$' + talker + u"GSA"_s);
            QCOMPARE(fields.size(), 19);
            QCOMPARE(fields.last(), systemIds.at(s));
            QCOMPARE(fields[2], u"3"_s);
            const QMap<int, int> &inView = snrs[signalIds ? 2 * s : s];
            for (qsizetype f = 3; f <= 14; ++f) {
                if (fields[f].isEmpty())
                    continue;
                ++used;
                QVERIFY2(inView.value(fields[f].toInt(), -1) >= 0, qPrintable(lines[1 + s]));
            }
        }
        QCOMPARE(fieldsOf(lines.first())[7].toInt(), used);
    }
    // The main window reads GPS's GSA, the first, where the position comes under GP.
    if (talker == u"GP") {
        const QString buffer = epochs.first().join(u"\r\n"_s) + u"\r\n"_s;
        QVERIFY(sentenceFields(buffer, kGga.tag, kGga.minimumFields, true));
        const auto gsa = sentenceFields(buffer, kGsa.tag, kGsa.minimumFields, true);
        QVERIFY(gsa);
        QVERIFY(gsa->last().startsWith(u"1*"_s));
    }
}

void tst_SimStream::faults_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("badEvery");
    QTest::addColumn<int>("cutEvery");
    QTest::addColumn<int>("garbageEvery");
    QTest::addColumn<bool>("bareLineFeed");

    QTest::newRow("bad checksum every 3")
        << QStringList{u"--bad-checksum-every"_s, u"3"_s} << 3 << 0 << 0 << false;
    QTest::newRow("cut every 4") << QStringList{u"--cut-every"_s, u"4"_s} << 0 << 4 << 0 << false;
    QTest::newRow("garbage every 2")
        << QStringList{u"--garbage-every"_s, u"2"_s} << 0 << 0 << 2 << false;
    QTest::newRow("bare LF") << QStringList{u"--bare-lf"_s} << 0 << 0 << 0 << true;
}

// Same seed and start as the reference: the faults are the only difference, so every reference
// sentence is found in order, spoiled exactly where due.
void tst_SimStream::faults() {
    QFETCH(QStringList, arguments);
    QFETCH(int, badEvery);
    QFETCH(int, cutEvery);
    QFETCH(int, garbageEvery);
    QFETCH(bool, bareLineFeed);

    const SimRun run = runSimulator(m_faultBase + arguments);
    QCOMPARE(run.exitCode, 0);
    const QString stream = QString::fromLatin1(run.bytes);
    const QString lineEnd = bareLineFeed ? u"\n"_s : u"\r\n"_s;
    const auto due = [](int every, qsizetype n) { return every > 0 && n % every == 0; };
    qsizetype position = 0;
    int oddBytes = 0;
    for (qsizetype n = 1; n <= m_reference.size(); ++n) {
        const QString &expected = m_reference[n - 1];
        const QString tag = expected.left(6);
        const QStringView rest = QStringView(stream).sliced(position);
        if (due(cutEvery, n)) {
            // A proper prefix without "*", then a line end or straight the next sentence.
            qsizetype end = rest.indexOf(u'$', 1);
            end = end < 0 ? rest.size() : end;
            QStringView piece = rest.first(end);
            if (piece.endsWith(lineEnd))
                piece.chop(lineEnd.size());
            QVERIFY2(!piece.contains(u'*') && expected.startsWith(piece) && !piece.isEmpty(),
                     qPrintable(piece.toString()));
            position += end;
            continue;
        }
        const qsizetype checksumAt = expected.size() - 2;
        QVERIFY2(rest.startsWith(QStringView(expected).first(checksumAt)), qPrintable(expected));
        const QString sentence = rest.first(expected.size()).toString();
        QVERIFY(rest.sliced(expected.size()).startsWith(lineEnd));
        const QString received = sentence + lineEnd;
        QCOMPARE(ExtractSentence(received, tag).value_or(QStringView()).toString(), sentence);
        if (due(badEvery, n)) {
            QVERIFY(sentence != expected);
            QVERIFY(!sentenceFields(received, tag, 0, true));
            QVERIFY(sentenceFields(received, tag, 0, false));
        } else {
            QCOMPARE(sentence, expected);
            QCOMPARE(transmittedChecksum(sentence), ComputeChecksum(sentence));
        }
        position += received.size();
        // Garbage sits only between sentences: up to 16 bytes before the next one.
        if (garbageEvery == 0)
            continue;
        const qsizetype next = n < m_reference.size()
                                   ? stream.indexOf(m_reference[n].left(10), position)
                                   : stream.size();
        const qsizetype gap = next - position;
        if (due(garbageEvery, n)) {
            QVERIFY2(gap >= 1 && gap <= 16, qPrintable(QString::number(gap)));
            for (const QChar c : QStringView(stream).sliced(position, gap))
                oddBytes += c.unicode() < 0x20 || c.unicode() > 0x7E;
        } else {
            QCOMPARE(gap, 0);
        }
        position = next;
    }
    QCOMPARE(position, stream.size());
    if (bareLineFeed)
        QVERIFY(!stream.contains(u'\r'));
    if (garbageEvery > 0)
        QVERIFY(oddBytes > 0);
}

void tst_SimStream::tcpClients_data() {
    QTest::addColumn<int>("clients");
    QTest::newRow("one client") << 1;
    QTest::newRow("two clients") << 2;
}

// At --baud 0 the stream waits for a client: the first gets it whole, later ones from when they
// came, each from the start of a sentence.
void tst_SimStream::tcpClients() {
    QFETCH(int, clients);
    QProcess sim;
    const QByteArray address = startTcpSimulator(sim, m_faultBase);
    QList<int> sockets;
    for (int k = 0; k < clients; ++k)
        sockets << connectTcp(address);
    QList<QByteArray> streams;
    for (const int fd : std::as_const(sockets)) {
        streams << (fd >= 0 ? readTcp(fd) : QByteArray());
        ::close(fd);
    }
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), 0);

    const QByteArray reference = m_reference.join(u"\r\n"_s).toLatin1() + "\r\n";
    QCOMPARE(streams.first(), reference);
    for (const QByteArray &stream : std::as_const(streams)) {
        QVERIFY(stream.startsWith('$'));
        QVERIFY(reference.endsWith(stream));
    }
}

// A looping replay as fast as the fastest client reads. The idle client's share fills its backlog
// and the kernel's buffers (a few MB) long before 16 MB have passed; a stalled stream stops there.
void tst_SimStream::tcpClientThatReadsNothingHoldsUpNoOne() {
    QProcess sim;
    const QByteArray address = startTcpSimulator(
        sim, QStringList{u"--replay"_s, QStringLiteral(PELORA_TESTDATA "/triton400.log"),
                         u"--loop"_s, u"--baud"_s, u"0"_s});
    const int idle = connectTcp(address, 4096);
    const int reader = connectTcp(address);
    const qsizetype enough = 16 << 20;
    const QByteArray stream = readTcp(reader, enough);
    ::close(reader);
    ::close(idle);
    sim.terminate();
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(idle >= 0 && reader >= 0);
    QVERIFY2(stream.size() >= enough, qPrintable(QString::number(stream.size())));
}

void tst_SimStream::replay_data() {
    QTest::addColumn<QString>("log");
    QTest::newRow("LF header, CR LF sentences") << u"GPSmap-76S.log"_s;
    QTest::newRow("NUL run and spliced sentences") << u"gp-320fw-2019-04-07-coldboot.log"_s;
    QTest::newRow("binary block") << u"ublox-8.log"_s;
    QTest::newRow("CR CR LF") << u"telit-pls83-w.log"_s;
}

void tst_SimStream::replay() {
    QFETCH(QString, log);
    const QByteArray original = readLog(log);
    QVERIFY(!original.isEmpty());
    const SimRun run = runSimulator(
        QStringList{u"--replay"_s, QStringLiteral(PELORA_TESTDATA "/") + log, u"--baud"_s, u"0"_s});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.bytes.size(), original.size());
    QVERIFY(run.bytes == original);
}

void tst_SimStream::replayLoop() {
    const QByteArray original = readLog(u"triton400.log"_s);
    QVERIFY(!original.isEmpty());
    const SimRun run =
        runSimulator(QStringList{u"--replay"_s, QStringLiteral(PELORA_TESTDATA "/triton400.log"),
                                 u"--loop"_s, u"--baud"_s, u"0"_s, u"--duration"_s, u"1"_s});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.bytes.size() > 2 * original.size());
    const qsizetype copies = run.bytes.size() / original.size() + 1;
    QVERIFY(original.repeated(copies).startsWith(run.bytes));
}

// Only a lower bound, which a slow machine cannot break: 7073 bytes at 3840 bytes a second.
void tst_SimStream::pacedReplayIsNotFasterThanTheBaudRate() {
    const QByteArray original = readLog(u"GPSmap-76S.log"_s);
    const SimRun run = runSimulator(QStringList{
        u"--replay"_s, QStringLiteral(PELORA_TESTDATA "/GPSmap-76S.log"), u"--baud"_s, u"38400"_s});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.bytes == original);
    QVERIFY2(run.lastByteMsecs >= 1500, qPrintable(QString::number(run.lastByteMsecs)));
    QVERIFY2(run.reads >= 10, qPrintable(QString::number(run.reads)));
}

void tst_SimStream::badOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown route") << QStringList{u"--route"_s, u"atlantis"_s};
    QTest::newRow("count below 1") << QStringList{u"--count"_s, u"0"_s};
    QTest::newRow("burst without an end") << QStringList{u"--burst"_s};
    QTest::newRow("fault every 0") << QStringList{u"--cut-every"_s, u"0"_s};
    QTest::newRow("unreadable replay") << QStringList{u"--replay"_s, u"/nonexistent/x.log"_s};
    QTest::newRow("bad start") << QStringList{u"--start"_s, u"2026-12-32T00:00:00Z"_s};
    QTest::newRow("rate not 1, 5, 10") << QStringList{u"--hz"_s, u"2"_s};
    QTest::newRow("unknown option") << QStringList{u"--warp"_s};
    QTest::newRow("unknown system") << QStringList{u"--systems"_s, u"gps,qzss"_s};
    QTest::newRow("SBAS without GPS") << QStringList{u"--systems"_s, u"sbas,glonass"_s};
    QTest::newRow("TCP port beyond 65535") << QStringList{u"--tcp"_s, u"65536"_s};
    QTest::newRow("TCP bound to a host name")
        << QStringList{u"--tcp"_s, u"0"_s, u"--tcp-bind"_s, u"gps-box"_s};
}

void tst_SimStream::badOptions() {
    QFETCH(QStringList, arguments);
    QProcess sim;
    sim.start(QStringLiteral(PELORA_SIM_PATH), arguments);
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(sim.readAllStandardOutput().isEmpty());
    const QByteArray message = sim.readAllStandardError();
    QVERIFY2(message.startsWith("pelora-sim: ") && message.count('\n') == 1, message.constData());
}

void tst_SimStream::sigtermRemovesTheLink() {
    QTemporaryDir folder;
    const QString link = folder.filePath(u"gps0"_s);
    QProcess sim;
    sim.start(QStringLiteral(PELORA_SIM_PATH), QStringList{u"--link"_s, link});
    QVERIFY(sim.waitForReadyRead(10000));
    const QString path = QString::fromLocal8Bit(sim.readLine().trimmed());
    QCOMPARE(QFile::symLinkTarget(link), path);
    sim.terminate();
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFile::exists(link) && !QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(tst_SimStream)
#include "tst_sim_stream.moc"
