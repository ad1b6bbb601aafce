// The serial port control over real pseudo-terminal pairs: bytes, line settings, failures and a
// device that goes away.
#include "io/iothread.h"
#include "io/portcontrol.h"
#include "logic/portname.h"
#include "ptypair.h"
#include "rawline.h"
#include "testseed.h"
#include "tracecapture.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

class tst_PortControl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void sendsOnlyWhileOpen();
    void lineSettings_data();
    void lineSettings();
    void missingDevice();
    void openAgainKeepsTheLine();
    void deviceThatGoesAwayIsReportedOnce();
    void returnsAsItWasOpened();
    void slowReaderGetsWholeNewestChunks();
    void chunkLargerThanTheBacklog();
    void forwardsWithoutThisThread();
    void floodReachesAConsumerThatKeepsUp_data();
    void floodReachesAConsumerThatKeepsUp();
    void emptyNameLeavesTheLostDeviceWatched();

private:
    IoThread m_io;
    std::unique_ptr<PtyPair> m_pair;
    QString m_received;
    std::optional<TraceCapture> m_trace;
};

void tst_PortControl::initTestCase() {
    m_trace.emplace();
}

void tst_PortControl::cleanupTestCase() {
    m_trace.reset();
}

void tst_PortControl::init() {
    m_pair = std::make_unique<PtyPair>();
    QVERIFY2(m_pair->start(), qPrintable(m_pair->error()));
    m_received.clear();
    m_trace->clear();
}

void tst_PortControl::cleanup() {
    m_pair.reset();
}

void tst_PortControl::sendsOnlyWhileOpen() {
    PortControl port(u"CommX2"_s, m_io);
    FarEnd far(m_pair->second());
    QVERIFY(far.isOpen());
    port.setPortName(m_pair->first());
    port.close(); // closing a port that is not open is harmless
    QVERIFY(!port.isOpen());
    port.send(u"dropped"_s);
    QVERIFY(port.open());
    QVERIFY(port.isOpen());
    port.send(u"kept"_s);
    QTRY_COMPARE(far.received(), "kept"_ba);
    port.close();
    QVERIFY(!port.isOpen());
    port.send(u"dropped"_s);
    QCOMPARE(m_trace->lines().first(), uR"(["port","CommX2","closed",""])"_s);
    QVERIFY(m_trace->lines().contains(uR"(["port","CommX2","open","%1"])"_s.arg(m_pair->first())));
}

void tst_PortControl::lineSettings_data() {
    using Cause = PortFailure::Cause;
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<Cause>("failure");
    QTest::addColumn<uint>("speed");
    // A pseudo-terminal always runs 8 data bits without parity (the kernel forces it), so only
    // speed and stop bits can be seen changing here.
    QTest::newRow("4800 8N1") << 4800 << 8 << 0 << 1 << Cause::None << uint(B4800);
    QTest::newRow("19200 8N2") << 19200 << 8 << 0 << 2 << Cause::None << uint(B19200);
    QTest::newRow("115200 8N1, typed, not in the list")
        << 115200 << 8 << 0 << 1 << Cause::None << uint(B115200);
    QTest::newRow("9 data bits") << 4800 << 9 << 0 << 1 << Cause::OutOfRange << 0u;
    QTest::newRow("4 data bits") << 4800 << 4 << 0 << 1 << Cause::OutOfRange << 0u;
    QTest::newRow("7 data bits, which the kernel refuses")
        << 4800 << 7 << 0 << 1 << Cause::SettingRefused << 0u;
    QTest::newRow("3 stop bits") << 4800 << 8 << 0 << 3 << Cause::OutOfRange << 0u;
    QTest::newRow("0 stop bits") << 4800 << 8 << 0 << 0 << Cause::OutOfRange << 0u;
    QTest::newRow("baud 0") << 0 << 8 << 0 << 1 << Cause::OutOfRange << 0u;
    QTest::newRow("negative baud") << -4800 << 8 << 0 << 1 << Cause::OutOfRange << 0u;
    QTest::newRow("unknown parity") << 4800 << 8 << 7 << 1 << Cause::OutOfRange << 0u;
}

void tst_PortControl::lineSettings() {
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(PortFailure::Cause, failure);
    const bool opens = failure == PortFailure::Cause::None;
    PortControl port(u"CommX1"_s, m_io);
    port.setPortName(m_pair->first());
    port.setBaudRate(baud);
    port.setDataBits(dataBits);
    port.setParity(parity);
    port.setStopBits(stopBits);
    QCOMPARE(port.open(), opens);
    QCOMPARE(port.isOpen(), opens);
    QCOMPARE(port.lastFailure().cause, failure);
    if (!opens)
        return;
    QFETCH(uint, speed);
    const termios line = m_pair->kernelLineSettings(0);
    QCOMPARE(uint(cfgetospeed(&line)), speed);
    QCOMPARE(bool(line.c_cflag & CSTOPB), stopBits == 2);
    QVERIFY(!(line.c_cflag & PARENB));
    // Raw: no flow control that would swallow XON and XOFF, no translation of line ends.
    QVERIFY(!(line.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP)));
}

void tst_PortControl::missingDevice() {
    PortControl port(u"CommX1"_s, m_io);
    port.setPortName(u"\\\\.\\COM/dev/pelora-no-such-device"_s);
    QVERIFY(!port.open());
    QVERIFY(!port.isOpen());
    QCOMPARE(port.device(), u"/dev/pelora-no-such-device"_s);
    QCOMPARE(port.lastFailure().cause, PortFailure::Cause::NotFound);
    QCOMPARE(port.lastFailure().device, u"/dev/pelora-no-such-device"_s);
    QCOMPARE(m_trace->lines(),
             QStringList{uR"(["port","CommX1","failed","/dev/pelora-no-such-device"])"_s});
}

void tst_PortControl::openAgainKeepsTheLine() {
    PortControl port(u"CommX1"_s, m_io);
    FarEnd far(m_pair->second());
    connect(&port, &PortControl::dataReceived, this,
            [this](const QString &chunk) { m_received += chunk; });
    port.setPortName(m_pair->first());
    port.setBaudRate(4800);
    QVERIFY(port.open());
    far.write("before,");
    QTRY_COMPARE(m_received, u"before,"_s);
    // Written while the settings change: nothing may be lost on the way.
    far.write("during,");
    port.setBaudRate(19200);
    QVERIFY(port.open());
    far.write("after");
    QTRY_COMPARE(m_received, u"before,during,after"_s);
    const termios line = m_pair->kernelLineSettings(0);
    QCOMPARE(uint(cfgetospeed(&line)), uint(B19200));
    QVERIFY(!m_trace->lines().contains(uR"(["port","CommX1","closed",""])"_s));

    // A refused setting on the open port leaves it closed, not half set up.
    port.setDataBits(9);
    QVERIFY(!port.open());
    QVERIFY(!port.isOpen());
}

void tst_PortControl::deviceThatGoesAwayIsReportedOnce() {
    PortControl port(u"CommX1"_s, m_io);
    QSignalSpy lost(&port, &PortControl::lost);
    port.setPortName(m_pair->first());
    QVERIFY(port.open());
    m_pair->stop();
    QVERIFY(lost.wait(5000));
    QVERIFY(!port.isOpen());
    // No flood of reports from a line that keeps failing.
    QTest::qWait(200);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(m_trace->lines().mid(m_trace->lines().size() - 2),
             (QStringList{uR"(["port","CommX1","closed",""])"_s,
                          uR"(["port","CommX1","lost","%1"])"_s.arg(m_pair->first())}));

    // Once a device is there again the port opens as before.
    PtyPair replacement;
    QVERIFY2(replacement.start(), qPrintable(replacement.error()));
    FarEnd far(replacement.second());
    connect(&port, &PortControl::dataReceived, this,
            [this](const QString &chunk) { m_received += chunk; });
    port.setPortName(replacement.first());
    QVERIFY(port.open());
    far.write("back");
    QTRY_COMPARE(m_received, u"back"_s);
}

void tst_PortControl::returnsAsItWasOpened() {
    // Under a fixed name, as a USB adapter is plugged in again.
    const QString link =
        QDir::temp().filePath(u"pelora-tst-commx-%1"_s.arg(QCoreApplication::applicationPid()));
    auto pair = std::make_unique<PtyPair>();
    QVERIFY2(pair->start(link), qPrintable(pair->error()));
    PortControl port(u"CommX1"_s, m_io);
    QSignalSpy lost(&port, &PortControl::lost);
    QSignalSpy returned(&port, &PortControl::returned);
    connect(&port, &PortControl::dataReceived, this,
            [this](const QString &chunk) { m_received += chunk; });
    port.setPortName(link);
    port.setBaudRate(19200);
    QVERIFY(port.open());
    // Written but never opened with (as when an activation stops at a list text that is no
    // number): the line comes back as it was.
    port.setBaudRate(9600);
    pair->stop();
    QVERIFY(lost.wait(5000));

    pair = std::make_unique<PtyPair>();
    QVERIFY2(pair->start(link), qPrintable(pair->error()));
    QVERIFY(returned.wait(10000));
    QCOMPARE(returned.count(), 1);
    QCOMPARE(lost.count(), 1);
    QVERIFY(port.isOpen());
    const termios line = pair->kernelLineSettings(0);
    QCOMPARE(uint(cfgetospeed(&line)), uint(B19200));
    FarEnd far(pair->second());
    far.write("back");
    QTRY_COMPARE(m_received, u"back"_s);
    pair.reset();
    QFile::remove(link);
}

void tst_PortControl::slowReaderGetsWholeNewestChunks() {
    PortControl port(u"CommX2"_s, m_io);
    QSignalSpy dropped(&port, &PortControl::dropped);
    port.setPortName(m_pair->first());
    QVERIFY(port.open());

    // Nobody reads the far end: once the line is full, Send must keep the backlog bounded.
    // Every chunk opens with its own number, so that what arrives tells which chunks it was.
    QRandomGenerator random(testSeed());
    QList<QByteArray> chunks;
    qint64 sent = 0;
    qint64 largestBacklog = 0;
    while (sent < 3 * Backlog::kLimit) {
        QByteArray chunk = QByteArray::number(chunks.size()) + ':';
        chunk += QByteArray(random.bounded(1, 4096), char('a' + chunks.size() % 26));
        chunks << chunk;
        sent += chunk.size();
        port.send(QString::fromLatin1(chunk));
        largestBacklog = qMax(largestBacklog, port.bytesToWrite());
        QCoreApplication::processEvents(); // drops are reported as they happen
    }
    QVERIFY2(largestBacklog <= Backlog::kLimit, qPrintable(QString::number(largestBacklog)));

    // A reader comes at last and gets everything that was not dropped: whole chunks in their
    // order, the newest among them. Until every drop has been reported here, fewer bytes can
    // arrive than this waits for.
    FarEnd far(m_pair->second());
    QTRY_COMPARE_WITH_TIMEOUT(far.received().size(), sent - port.droppedBytes(), 20000);
    QCOMPARE(port.bytesToWrite(), 0);
    QVERIFY(port.droppedBytes() > 0);
    qint64 signalled = 0;
    for (const QList<QVariant> &signal : dropped)
        signalled += signal.at(0).toLongLong();
    QCOMPARE(signalled, port.droppedBytes());
    qint64 traced = 0;
    for (const QString &line : m_trace->lines()) {
        if (line.startsWith(uR"(["dropped","CommX2",)"_s))
            traced += line.section(u',', 2).chopped(1).toLongLong();
    }
    QCOMPARE(traced, port.droppedBytes());

    const QByteArray received = far.received();
    qsizetype at = 0;
    int kept = 0;
    for (const QByteArray &chunk : std::as_const(chunks)) {
        if (QByteArrayView(received).sliced(at).startsWith(chunk)) {
            at += chunk.size();
            ++kept;
        }
    }
    QCOMPARE(at, received.size());
    QVERIFY(received.endsWith(chunks.last()));
    qInfo("%lld chunks sent, %d arrived, %lld bytes dropped", qlonglong(chunks.size()), kept,
          qlonglong(port.droppedBytes()));
}

void tst_PortControl::chunkLargerThanTheBacklog() {
    PortControl port(u"CommX2"_s, m_io);
    port.setPortName(m_pair->first());
    QVERIFY(port.open());
    // Not even a single chunk may pass the bound; it goes whole, and what follows is sent.
    port.send(QString(Backlog::kLimit + 1, u'x'));
    QTRY_COMPARE(port.droppedBytes(), Backlog::kLimit + 1);
    QCOMPARE(port.bytesToWrite(), 0);
    FarEnd far(m_pair->second());
    port.send(u"next"_s);
    QTRY_COMPARE(far.received(), "next"_ba);
}

void tst_PortControl::forwardsWithoutThisThread() {
    PtyPair outputPair;
    QVERIFY2(outputPair.start(), qPrintable(outputPair.error()));
    PortControl input(u"CommX1"_s, m_io);
    PortControl output(u"CommX2"_s, m_io);
    input.forwardTo(output);
    connect(&input, &PortControl::dataReceived, this,
            [this](const QString &chunk) { m_received += chunk; });
    input.setPortName(m_pair->first());
    QVERIFY(input.open());
    RawEnd receiver(m_pair->second());
    RawEnd consumer(outputPair.second());
    QVERIFY(receiver.isOpen() && consumer.isOpen());

    // While the output is closed a chunk goes nowhere there.
    QVERIFY(receiver.write("nowhere,"));
    QTRY_COMPARE(m_received, u"nowhere,"_s);
    output.setPortName(outputPair.first());
    QVERIFY(output.open());

    // This thread serves no events until the consumer has the chunk: only the I/O thread can
    // have passed it on.
    const QByteArray chunk = "$GPTXT,01,01,02,forwarded*00\r\n";
    QVERIFY(receiver.write(chunk));
    QCOMPARE(consumer.read(chunk.size(), QDeadlineTimer(10000)), chunk);
    QCOMPARE(m_received, u"nowhere,"_s);
    // It was read before Close but not yet raised here: after Close it never is.
    input.close();
    QCoreApplication::processEvents();
    QCOMPARE(m_received, u"nowhere,"_s);
}

void tst_PortControl::floodReachesAConsumerThatKeepsUp_data() {
    QTest::addColumn<int>("busyProcesses");
    QTest::newRow("quiet machine") << 0;
    QTest::newRow("both cores kept busy") << 2;
}

void tst_PortControl::floodReachesAConsumerThatKeepsUp() {
    // The receiver writes as fast as the line takes it, the consumer reads as fast as it can: a
    // consumer a megabyte behind is not one that stopped, and must get every byte, as through
    // socat.
    QFETCH(int, busyProcesses);
    struct Busy : QProcess {
        Busy() { start(u"sh"_s, {u"-c"_s, u"while :; do :; done"_s}); }
        ~Busy() override {
            kill();
            waitForFinished();
        }
    };
    std::vector<std::unique_ptr<Busy>> busy;
    for (int i = 0; i < busyProcesses; ++i) {
        busy.push_back(std::make_unique<Busy>());
        QVERIFY(busy.back()->waitForStarted());
    }
    PtyPair outputPair;
    QVERIFY2(outputPair.start(), qPrintable(outputPair.error()));
    PortControl input(u"CommX1"_s, m_io);
    PortControl output(u"CommX2"_s, m_io);
    input.forwardTo(output);
    input.setPortName(m_pair->first());
    output.setPortName(outputPair.first());
    QVERIFY(input.open());
    QVERIFY(output.open());

    QRandomGenerator random(testSeed());
    QByteArray data(8 * 1000 * 1000, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
    for (int run = 0; run < 10; ++run) {
        const Flood flood = measureFlood(m_pair->second(), outputPair.second(), data, true);
        QVERIFY2(
            flood.exact,
            qPrintable(u"run %1: %2 of %3 bytes"_s.arg(run).arg(flood.arrived).arg(data.size())));
    }
    QCOMPARE(output.droppedBytes(), 0);
}

void tst_PortControl::emptyNameLeavesTheLostDeviceWatched() {
    // A failed "Port aktivieren" with an empty list must neither close the open line nor make a
    // lost one wait for something else.
    const QString link = QDir::temp().filePath(
        u"pelora-tst-commx-empty-%1"_s.arg(QCoreApplication::applicationPid()));
    auto pair = std::make_unique<PtyPair>();
    QVERIFY2(pair->start(link), qPrintable(pair->error()));
    PortControl port(u"CommX1"_s, m_io);
    QSignalSpy lost(&port, &PortControl::lost);
    QSignalSpy returned(&port, &PortControl::returned);
    port.setPortName(link);
    QVERIFY(port.open());
    port.setPortName(kComPrefix.toString());
    QVERIFY(!port.open());
    QCOMPARE(port.lastFailure().cause, PortFailure::Cause::EmptyName);
    QVERIFY(port.isOpen());
    QCOMPARE(port.device(), link);

    pair->stop();
    QVERIFY(lost.wait(5000));
    pair = std::make_unique<PtyPair>();
    QVERIFY2(pair->start(link), qPrintable(pair->error()));
    QVERIFY(returned.wait(10000));
    QVERIFY(port.isOpen());
    pair.reset();
    QFile::remove(link);
}

QTEST_GUILESS_MAIN(tst_PortControl)
#include "tst_portcontrol.moc"
