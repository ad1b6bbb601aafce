// The session without any window, over real pseudo-terminal pairs and sockets: activating,
// deactivating, losing and regaining either port, the poll cycle's counter across activations,
// and forwarding that does not wait for the session's thread.
#include "gpsd.h"
#include "ptypair.h"
#include "sentences.h"
#include "session/session.h"
#include "tracecapture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <array>
#include <optional>

using namespace Qt::StringLiterals;
using sentences::kGga;

using sentences::kSentences;

// Lost devices are looked for this often here; the program looks every second.
constexpr std::chrono::milliseconds kLook{50};

class tst_Session : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void counterSurvivesDeactivation();
    void forwardsWhileItsThreadIsBusy();
    void udpInputReadsOnAfterABurst();
    void decodedAfterTheNextTicks();
    void tcpInputDecodedLikeTheSerialOne();
    void deactivationResetsDisplayBufferAndList();
    void deactivationWithoutActivation();
    void outputPortIsIndependent();
    void failedActivation_data();
    void failedActivation();
    void failedReactivationTellsTheTruth_data();
    void failedReactivationTellsTheTruth();
    void unpluggedMidStream_data();
    void unpluggedMidStream();
    void comesBackByItself_data();
    void comesBackByItself();
    void outputNobodyReads();
    void gpsdInputDecodedLikeTheSerialOne();
    void gpsdDevicesComeAndGo();
    void gpsdStoppedAndStartedAgain();

private:
    // Activates the input port on the pair and stops the timer, so the test ticks by hand.
    void activateAndTickByHand() {
        QCOMPARE(m_session->activateInput({.port = m_input->second()}).cause,
                 PortFailure::Cause::None);
        QVERIFY(m_session->input().isOpen());
        m_session->byHand().timer.stop();
    }
    void ticks(int count) {
        for (int i = 0; i < count; ++i)
            m_session->byHand().cycle.PollTick();
    }
    QString buffer() const { return m_session->receiveLog().text().toString(); }
    qint16 count() const { return m_session->module1().tickCount; }

    // The far ends as a receiver and a consuming program hold them; only for the tests that
    // read and write through them, as the others open their own.
    void openFarEnds() {
        m_receiver = std::make_unique<FarEnd>(m_input->first());
        m_consumer = std::make_unique<FarEnd>(m_output->second());
        QVERIFY(m_receiver->isOpen() && m_consumer->isOpen());
    }
    // Port "1" is the receiver, as the start script sets it up; the output port is a path.
    PortSettings settings(PortSide side) const {
        return {.port = side == PortSide::Input ? u"1"_s : m_output->first()};
    }
    PortFailure activate(PortSide side, const PortSettings &settings) {
        return side == PortSide::Input ? m_session->activateInput(settings)
                                       : m_session->activateOutput(settings);
    }
    // Activates the side with its settings and expects it open.
    void activateOpen(PortSide side) {
        QCOMPARE(activate(side, settings(side)).cause, PortFailure::Cause::None);
        QCOMPARE(state(side), PortState::Open);
    }
    void deactivate(PortSide side) {
        if (side == PortSide::Input)
            m_session->deactivateInput();
        else
            m_session->deactivateOutput();
    }
    const PortControl &port(PortSide side) const {
        return side == PortSide::Input ? m_session->input() : m_session->output();
    }
    // What the indicator shows, as the session last told it, and how often it was told.
    PortState state(PortSide side) const { return m_state[int(side)]; }
    int told(PortSide side) const { return m_told[int(side)]; }
    QString linkPath(const QString &which) const;
    void writeUntilArrived(const QByteArray &bytes);
    QStringList decodedOnce(const QByteArray &stream);
    void plugIn(PortSide side, const QString &link);
    PortSettings plugInUnderLink(PortSide side, const QString &link);

    std::unique_ptr<PtyPair> m_input;  // first: the receiver, second: the session's input port
    std::unique_ptr<PtyPair> m_output; // first: the session's output port, second: the consumer
    std::unique_ptr<FarEnd> m_receiver;
    std::unique_ptr<FarEnd> m_consumer;
    std::unique_ptr<Session> m_session;
    // A receiver on a line that a gpsd of the test's own holds and has made out.
    struct GpsdHeldReceiver {
        PtyPair line;
        TestGpsd gpsd;
        std::unique_ptr<FarEnd> receiver;
    };
    void startGpsdHolding(GpsdHeldReceiver &held);
    void gpsdKnowsTheReceiver(FarEnd &receiver, quint16 port);

    std::array<PortState, 2> m_state{};
    std::array<PortWait, 2> m_wait{};
    std::array<int, 2> m_told{};
    std::optional<TraceCapture> m_trace;
};

namespace {

// The settings with one of them, named as in PortSettings, replaced by a text.
PortSettings with(PortSettings settings, const QString &field, const QString &text) {
    if (field == u"port")
        settings.port = text;
    else if (field == u"baudRate")
        settings.baudRate = text;
    else if (field == u"dataBits")
        settings.dataBits = text;
    else if (field == u"stopBits")
        settings.stopBits = text;
    else
        qFatal("no such setting");
    return settings;
}

// A recorded receiver's sentences, without the file's comment lines: gpsd passes on sentences
// only.
QByteArray recordedSentences(const QString &name) {
    QFile log(QStringLiteral(PELORA_TESTDATA "/") + name);
    if (!log.open(QIODevice::ReadOnly))
        qFatal("no log %s", qPrintable(name));
    QByteArray sentences;
    while (!log.atEnd()) {
        const QByteArray line = log.readLine();
        if (!line.startsWith('#'))
            sentences += line;
    }
    return sentences;
}

QByteArray withChecksum(const QByteArray &body) {
    char sum = 0;
    for (const char c : body)
        sum ^= c;
    return '$' + body + '*' + QByteArray::number(uchar(sum), 16).rightJustified(2, '0').toUpper() +
           "\r\n";
}

} // namespace

void tst_Session::initTestCase() {
    m_trace.emplace();
}

void tst_Session::cleanupTestCase() {
    m_trace.reset();
}

void tst_Session::init() {
    m_input = std::make_unique<PtyPair>();
    m_output = std::make_unique<PtyPair>();
    QVERIFY2(m_input->start(), qPrintable(m_input->error()));
    QVERIFY2(m_output->start(), qPrintable(m_output->error()));
    qputenv("PELORA_COM1", m_input->second().toLocal8Bit());
    m_session = std::make_unique<Session>();
    // Received text is handed over at once here; the program gathers it for a view's refresh.
    m_session->setLinkTimings({.batch = std::chrono::milliseconds(1), .returnLook = kLook});
    m_state.fill(PortState::Untouched);
    m_wait.fill({});
    m_told.fill(0);
    connect(m_session.get(), &Session::portStateChanged, this,
            [this](PortSide side, PortState state, const PortWait &wait) {
                m_state[int(side)] = state;
                m_wait[int(side)] = wait;
                ++m_told[int(side)];
            });
    m_trace->clear();
}

void tst_Session::cleanup() {
    m_session.reset();
    m_receiver.reset();
    m_consumer.reset();
    m_input.reset();
    m_output.reset();
    qunsetenv("PELORA_COM1");
    QFile::remove(linkPath(u"in"_s));
    QFile::remove(linkPath(u"out"_s));
}

QString tst_Session::linkPath(const QString &which) const {
    return QDir::temp().filePath(
        u"pelora-tst-session-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(which));
}

void tst_Session::writeUntilArrived(const QByteArray &bytes) {
    const qsizetype before = m_session->receiveLog().size();
    m_receiver->write(bytes);
    QTRY_COMPARE(m_session->receiveLog().size(), before + bytes.size());
}

// The session's end of the input or output pair under a fixed link name, as a USB adapter keeps
// its device name when it is plugged in again.
void tst_Session::plugIn(PortSide side, const QString &link) {
    if (side == PortSide::Output) {
        m_output = std::make_unique<PtyPair>();
        QVERIFY2(m_output->start(link), qPrintable(m_output->error()));
        m_consumer = std::make_unique<FarEnd>(m_output->second());
    } else {
        m_input = std::make_unique<PtyPair>();
        QVERIFY2(m_input->start({}, link), qPrintable(m_input->error()));
        m_receiver = std::make_unique<FarEnd>(m_input->first());
    }
}

QStringList tst_Session::decodedOnce(const QByteArray &stream) {
    // One tick over the whole stream, so that both ports are decoded from the same buffer.
    m_session->byHand().timer.stop();
    [&] { QTRY_COMPARE(buffer(), QString::fromLatin1(stream)); }();
    m_session->byHand().cycle.PollTick();
    QStringList texts;
    for (DisplayField *field : m_session->model().fields())
        texts << field->text();
    return texts;
}

void tst_Session::counterSurvivesDeactivation() {
    FarEnd receiver(m_input->first());
    QVERIFY(receiver.isOpen());
    activateAndTickByHand();
    ticks(7);
    m_session->deactivateInput();
    QCOMPARE(count(), 7);
    activateAndTickByHand();
    receiver.write(kGga.toLatin1());
    QTRY_COMPARE(buffer(), kGga);
    ticks(12);
    QCOMPARE(buffer(), kGga);
    m_session->byHand().cycle.PollTick();
    QVERIFY(buffer().isEmpty());
    QCOMPARE(count(), 0);
}

void tst_Session::forwardsWhileItsThreadIsBusy() {
    activateAndTickByHand();
    QCOMPARE(m_session->activateOutput({.port = m_output->first()}).cause,
             PortFailure::Cause::None);
    QVERIFY(m_session->output().isOpen());
    RawEnd receiver(m_input->first());
    RawEnd consumer(m_output->second());
    QVERIFY(receiver.isOpen() && consumer.isOpen());

    // The session's thread is held in here, as in a long handler, until the consumer has the
    // sentences: forwarding must not wait for it.
    QVERIFY(receiver.write(kSentences));
    QCOMPARE(consumer.read(kSentences.size(), QDeadlineTimer(10000)), kSentences);
    QVERIFY(buffer().isEmpty());
    // The log gets them as soon as its thread is free again.
    QTRY_COMPARE(buffer(), QString::fromLatin1(kSentences));
}

// A receiver or multiplexer that sends a second's sentences as datagrams in one go, more than the
// I/O thread reads in one turn, then goes on at its pace: reading must never stop.
void tst_Session::udpInputReadsOnAfterABurst() {
    QCOMPARE(m_session->activateOutput({.port = u"tcp://127.0.0.1:0"_s}).cause,
             PortFailure::Cause::None);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, m_session->output().localPort());
    QVERIFY(client.waitForConnected(5000));
    QCOMPARE(m_session->activateInput({.port = u"udp://127.0.0.1:0"_s}).cause,
             PortFailure::Cause::None);
    m_session->byHand().timer.stop();
    const quint16 port = m_session->input().localPort();
    QVERIFY(port != 0);
    QTRY_VERIFY(client.state() == QAbstractSocket::ConnectedState && m_session->output().isOpen());

    QUdpSocket sender;
    QByteArray sent;
    const auto send = [&](int n) {
        const QByteArray line = "$GPTXT,01,01,02,datagram " + QByteArray::number(n) + "*00\r\n";
        QCOMPARE(sender.writeDatagram(line, QHostAddress::LocalHost, port), line.size());
        sent += line;
    };
    for (int n = 0; n < 100; ++n)
        send(n);
    QTRY_COMPARE(buffer().size(), sent.size());
    QTest::qWait(1000);
    send(100);
    QTRY_COMPARE(buffer(), QString::fromLatin1(sent));
    QByteArray got;
    QTRY_COMPARE((got += client.readAll()), sent);
}

void tst_Session::decodedAfterTheNextTicks() {
    openFarEnds();
    m_session->chooseInterval(0); // 200 ms
    activateOpen(PortSide::Input);
    m_receiver->write(kSentences);
    QTRY_COMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);
    QTRY_COMPARE(m_session->model().utcDate.text(), u"23.03.94"_s);
    QCOMPARE(m_session->model().altitude.text(), u"545.4 m"_s);
    QCOMPARE(m_session->model().course.text(), u"084.4"_s);
    QCOMPARE(m_session->model().pdop.text(), u"2.5"_s);
    QCOMPARE(m_session->model().satellites[0].text(), u"04"_s);
    QCOMPARE(buffer(), QString::fromLatin1(kSentences));
}

void tst_Session::tcpInputDecodedLikeTheSerialOne() {
    // A recorded receiver, first over the serial line, then shared over the network by a server
    // this test runs.
    openFarEnds();
    QFile log(QStringLiteral(PELORA_TESTDATA "/garmin15x.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray stream = log.readAll();
    activateOpen(PortSide::Input);
    m_receiver->write(stream);
    const QStringList serial = decodedOnce(stream);
    QVERIFY(!m_session->model().utcTime.text().isEmpty());
    QVERIFY(!m_session->model().latitude.text().isEmpty());
    m_session->deactivateInput();

    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    // Active at once, but open only once connected.
    m_trace->clear();
    const QString address = u"tcp://127.0.0.1:%1"_s.arg(server.serverPort());
    QCOMPARE(m_session->activateInput({.port = address}).cause, PortFailure::Cause::None);
    QCOMPARE(m_trace->lines(u"port").value(0),
             uR"(["port","CommX1","pending","%1"])"_s.arg(address));
    QTRY_COMPARE(state(PortSide::Input), PortState::Open);
    // Waiting for the state may have taken the connection already.
    QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(10000));
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    peer->write(stream);
    QCOMPARE(decodedOnce(stream), serial);

    // The peer goes away: the port waits while it tries again, and is open once the peer is
    // back, reading on with the same settings.
    peer->disconnectFromHost();
    QTRY_COMPARE(state(PortSide::Input), PortState::Waiting);
    QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(10000));
    peer.reset(server.nextPendingConnection());
    QTRY_COMPARE(state(PortSide::Input), PortState::Open);
    peer->write("$GPTXT,01,01,02,back*00\r\n");
    QTRY_VERIFY(buffer().endsWith(u"back*00\r\n"_s));
    m_session->deactivateInput();
}

void tst_Session::deactivationResetsDisplayBufferAndList() {
    openFarEnds();
    activateOpen(PortSide::Input);
    activateOpen(PortSide::Output);
    m_receiver->write(kSentences);
    QTRY_COMPARE(m_session->receiveLog().size(), kSentences.size());
    m_session->byHand().cycle.PollTick();
    m_session->byHand().decoders.ListSentenceTypes();
    QCOMPARE(m_session->model().latitude.text(), u"48 \u00B0  07.038 ' N"_s);
    QVERIFY(!m_session->model().sentenceTypes().isEmpty());

    m_trace->clear();
    m_session->deactivateInput();
    QVERIFY(!m_session->pollTimer().isActive());
    QVERIFY(!m_session->input().isOpen());
    QCOMPARE(state(PortSide::Input), PortState::Closed);
    QVERIFY(buffer().isEmpty());
    QVERIFY(m_session->model().sentenceTypes().isEmpty());
    for (DisplayField *field : m_session->model().fields())
        QVERIFY2(field->text().isEmpty(), qPrintable(field->fieldName()));
    // The display is emptied before the port closes, the buffer after it.
    const QStringList &trace = m_trace->lines();
    const qsizetype lastField = trace.lastIndexOf(QRegularExpression(uR"(\["field",.*)"_s));
    const qsizetype closed = trace.indexOf(uR"(["port","CommX1","closed",""])"_s);
    const qsizetype cleared = trace.indexOf(uR"(["buffer","cleared"])"_s);
    QVERIFY2(lastField >= 0 && lastField < closed && closed < cleared,
             qPrintable(trace.join(u"\n")));
    QCOMPARE(trace.last(), uR"(["types",""])"_s);
    // The output port is not touched.
    QVERIFY(m_session->output().isOpen());
    QCOMPARE(state(PortSide::Output), PortState::Open);
}

void tst_Session::deactivationWithoutActivation() {
    m_session->deactivateInput();
    m_session->deactivateOutput();
    QCOMPARE(state(PortSide::Input), PortState::Closed);
    QCOMPARE(state(PortSide::Output), PortState::Closed);
    QVERIFY(!m_session->pollTimer().isActive());
    QVERIFY(buffer().isEmpty());
}

void tst_Session::outputPortIsIndependent() {
    openFarEnds();
    // Reception and decoding without an output port.
    activateOpen(PortSide::Input);
    m_receiver->write(kSentences);
    QTRY_COMPARE(m_session->receiveLog().size(), kSentences.size());
    m_session->byHand().cycle.PollTick();
    QCOMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);
    QVERIFY(m_consumer->received().isEmpty());

    // Starting and stopping the output leaves buffer, display and input port as they are.
    QCOMPARE(m_session->activateOutput(with(settings(PortSide::Output), u"baudRate"_s, u"19200"_s))
                 .cause,
             PortFailure::Cause::None);
    QCOMPARE(state(PortSide::Output), PortState::Open);
    const termios line = m_output->kernelLineSettings(0);
    QCOMPARE(uint(cfgetospeed(&line)), uint(B19200));
    m_session->deactivateOutput();
    QCOMPARE(state(PortSide::Output), PortState::Closed);
    QVERIFY(!m_session->output().isOpen());
    QCOMPARE(buffer(), QString::fromLatin1(kSentences));
    QCOMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);
    QVERIFY(m_session->input().isOpen());
    QVERIFY(m_session->pollTimer().isActive());
    QCOMPARE(state(PortSide::Input), PortState::Open);
}

void tst_Session::failedActivation_data() {
    QTest::addColumn<bool>("output");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("detail"); // each must appear in the failure's detail line
    // {input} and {output} are the session's ends of the pairs, {receiver} and {consumer} the
    // far ends, which the test holds open as another program would.
    const QString baud = u"\u201e\u00dc-rate\u201c"_s;
    const QString dataBits = u"\u201eDatenbit\u201c"_s;
    QTest::newRow("input baud abc")
        << false << u"baudRate"_s << u"abc"_s << QStringList{baud, u"\u201eabc\u201c"_s};
    QTest::newRow("input data bits 9")
        << false << u"dataBits"_s << u"9"_s << QStringList{dataBits + u" 9"_s};
    QTest::newRow("input data bits 7, the device refuses")
        << false << u"dataBits"_s << u"7"_s << QStringList{u"{input}"_s, dataBits + u" 7"_s};
    QTest::newRow("input stop bits empty")
        << false << u"stopBits"_s << u" "_s << QStringList{u"\u201eStopbit\u201c ist leer"_s};
    QTest::newRow("input missing device") << false << u"port"_s << u"/dev/pelora-missing"_s
                                          << QStringList{u"/dev/pelora-missing gibt es nicht"_s};
    QTest::newRow("input empty name")
        << false << u"port"_s << QString() << QStringList{u"\u201eCOM Port\u201c ist leer"_s};
    QTest::newRow("input busy") << false << u"port"_s << u"{receiver}"_s
                                << QStringList{u"{receiver} wird schon"_s, u"anderen Programm"_s};
    QTest::newRow("input on the output's device")
        << false << u"port"_s << u"{output}"_s << QStringList{u"{output} ist schon als Ausgang"_s};
    const QString noAddress = u"ist keine g\u00fcltige Netzadresse"_s;
    QTest::newRow("input tcp without a port")
        << false << u"port"_s << u"tcp://host"_s
        << QStringList{u"\u201etcp://host\u201c "_s + noAddress};
    QTest::newRow("input tcp port too large")
        << false << u"port"_s << u"tcp://host:99999"_s << QStringList{noAddress};
    QTest::newRow("output udp port no number")
        << true << u"port"_s << u"udp://:x"_s << QStringList{noAddress};
    QTest::newRow("output tcp, nothing after the scheme")
        << true << u"port"_s << u"tcp://"_s << QStringList{noAddress};
    QTest::newRow("output baud abc")
        << true << u"baudRate"_s << u"abc"_s << QStringList{baud, u"\u201eabc\u201c"_s};
    QTest::newRow("output data bits 9")
        << true << u"dataBits"_s << u"9"_s << QStringList{dataBits + u" 9"_s};
    QTest::newRow("output missing device")
        << true << u"port"_s << u"ttyPeloraMissing"_s << QStringList{u"/dev/ttyPeloraMissing"_s};
    QTest::newRow("output busy") << true << u"port"_s << u"{consumer}"_s
                                 << QStringList{u"{consumer} wird schon"_s, u"anderen Programm"_s};
    QTest::newRow("output on the input's device")
        << true << u"port"_s << u"1"_s << QStringList{u"{input} ist schon als Eingang"_s};
}

void tst_Session::failedActivation() {
    QFETCH(bool, output);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QStringList, detail);
    const auto devices = [this](const QString &s) { return withDevices(s, *m_input, *m_output); };
    openFarEnds();
    const PortSide bad = output ? PortSide::Output : PortSide::Input;
    const PortSide good = output ? PortSide::Input : PortSide::Output;
    activateOpen(good);

    const PortFailure failure = activate(bad, with(settings(bad), field, devices(text)));
    QVERIFY(failure.cause != PortFailure::Cause::None);
    QVERIFY(!port(bad).isOpen());
    // A first failed activation leaves the indicator as it was at start.
    QCOMPARE(told(bad), 0);
    QCOMPARE(state(bad), PortState::Untouched);
    QCOMPARE(state(good), PortState::Open);
    // The input activation has started the timer before it failed, and leaves it running.
    QVERIFY(m_session->pollTimer().isActive());
    // The failure says which setting to change.
    const QString said = portFailureDetail(failure);
    for (const QString &words : detail)
        QVERIFY2(said.contains(devices(words)), qPrintable(said));

    // Data still flows in after it.
    QByteArray sent;
    if (output) {
        sent += kSentences;
        m_receiver->write(kSentences);
        QTRY_COMPARE(buffer(), QString::fromLatin1(sent));
    }

    // Corrected, the same port works, and nothing received so far is lost.
    m_session->byHand().timer.stop();
    activateOpen(bad);
    m_session->byHand().timer.stop();
    sent += "$GPTXT,01,01,02,after*00\r\n";
    m_receiver->write("$GPTXT,01,01,02,after*00\r\n");
    QTRY_COMPARE(buffer(), QString::fromLatin1(sent));
    QTRY_VERIFY(m_consumer->received().endsWith("after*00\r\n"));
}

void tst_Session::failedReactivationTellsTheTruth_data() {
    QTest::addColumn<bool>("output");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("staysOpen");
    // A text that is no number never reaches the open port; a setting it refuses closes it.
    QTest::newRow("input baud abc") << false << u"baudRate"_s << u"abc"_s << true;
    QTest::newRow("input data bits 9") << false << u"dataBits"_s << u"9"_s << false;
    QTest::newRow("input now missing") << false << u"port"_s << u"/dev/pelora-missing"_s << false;
    QTest::newRow("output baud abc") << true << u"baudRate"_s << u"abc"_s << true;
    QTest::newRow("output data bits 9") << true << u"dataBits"_s << u"9"_s << false;
    // A device that is there but takes no line settings at all.
    QTest::newRow("input device refuses settings") << false << u"port"_s << u"/dev/null"_s << false;
    QTest::newRow("output device refuses settings") << true << u"port"_s << u"/dev/null"_s << false;
}

void tst_Session::failedReactivationTellsTheTruth() {
    QFETCH(bool, output);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(bool, staysOpen);
    openFarEnds();
    const PortSide side = output ? PortSide::Output : PortSide::Input;
    m_session->chooseInterval(0); // 200 ms: a shorter wait for the cycle below
    activateOpen(PortSide::Input);
    activateOpen(PortSide::Output);
    m_session->byHand().timer.stop();
    writeUntilArrived(kSentences);
    m_session->byHand().cycle.PollTick();
    QCOMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);

    QVERIFY(activate(side, with(settings(side), field, text)).cause != PortFailure::Cause::None);
    QCOMPARE(port(side).isOpen(), staysOpen);
    QCOMPARE(state(side), staysOpen ? PortState::Open : PortState::Closed);
    // Nothing received before is lost, nothing shown is taken back.
    QCOMPARE(buffer(), QString::fromLatin1(kSentences));
    QCOMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);

    // What still runs, runs on unchanged.
    QByteArray expected = kSentences;
    if (m_session->input().isOpen()) {
        expected += "$GPTXT,01,01,02,meanwhile*00\r\n";
        writeUntilArrived("$GPTXT,01,01,02,meanwhile*00\r\n");
    }
    if (m_session->output().isOpen())
        QTRY_COMPARE(m_consumer->received(), expected);

    // Set right again, the port works.
    activateOpen(side);
    m_session->byHand().timer.stop();
    writeUntilArrived("$GPTXT,01,01,02,after*00\r\n");
    QCOMPARE(buffer(), QString::fromLatin1(expected) + u"$GPTXT,01,01,02,after*00\r\n"_s);
    QTRY_VERIFY(m_consumer->received().endsWith("after*00\r\n"));
}

void tst_Session::unpluggedMidStream_data() {
    QTest::addColumn<bool>("output");
    QTest::newRow("input") << false;
    QTest::newRow("output") << true;
}

void tst_Session::unpluggedMidStream() {
    QFETCH(bool, output);
    openFarEnds();
    const PortSide side = output ? PortSide::Output : PortSide::Input;
    const PortSide other = output ? PortSide::Input : PortSide::Output;
    // The session's end of the pair that is unplugged gets a fixed name, so that the device
    // that comes back is found under the same name.
    const QString link = linkPath(output ? u"out"_s : u"in"_s);
    const PortSettings outputSettings = plugInUnderLink(side, link);
    activateOpen(PortSide::Input);
    QCOMPARE(m_session->activateOutput(outputSettings).cause, PortFailure::Cause::None);
    QCOMPARE(state(PortSide::Output), PortState::Open);
    m_session->byHand().timer.stop();

    QFile file(QStringLiteral(PELORA_TESTDATA "/gpsdf.log"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray log = file.readAll();
    const QByteArray arrived = log.left(log.size() / 2);
    writeUntilArrived(arrived);
    QTRY_COMPARE(m_consumer->received(), arrived);
    m_session->byHand().cycle.PollTick();
    const QString time = m_session->model().utcTime.text();
    QVERIFY(!time.isEmpty());

    // Pulled out while bytes are on their way, in the middle of a sentence.
    const QByteArray onTheWay = log.mid(arrived.size(), 1000);
    m_receiver->write(onTheWay);
    (output ? m_consumer : m_receiver).reset();
    (output ? m_output : m_input)->stop();
    if (output)
        m_receiver->write("$GPTXT,after the output went*00\r\n"); // finds the line gone
    QTRY_COMPARE(state(side), PortState::Waiting);
    QVERIFY(!port(side).isOpen());
    QCOMPARE(state(other), PortState::Open);

    // What arrived is all still there, unchanged; the input side receives on unhindered.
    QByteArray expected = arrived + onTheWay;
    if (output) {
        expected += "$GPTXT,after the output went*00\r\n";
        QTRY_COMPARE(buffer(), QString::fromLatin1(expected));
    } else {
        expected = buffer().toLatin1();
        QVERIFY(expected.startsWith(arrived));
        QVERIFY(log.startsWith(expected));
    }
    // Ticks go on without a count while the input is closed, so they never empty the buffer.
    m_session->byHand().decoders.tickCount = 19;
    m_session->byHand().cycle.PollTick();
    QCOMPARE(m_session->module1().tickCount, output ? 0 : 19);
    if (!output)
        QCOMPARE(buffer(), QString::fromLatin1(expected));
    QCOMPARE(m_session->model().utcTime.text(), time);

    // Plugged in again under the same name, the port is activated as before and works.
    plugIn(side, link);
    QCOMPARE(activate(side, output ? outputSettings : settings(side)).cause,
             PortFailure::Cause::None);
    QCOMPARE(state(side), PortState::Open);
    m_session->byHand().timer.stop();
    if (output)
        expected.clear(); // emptied by the tick above
    const QByteArray more = "$GPTXT,01,01,02,back again*00\r\n";
    writeUntilArrived(more);
    QCOMPARE(buffer(), QString::fromLatin1(expected + more));
    QTRY_VERIFY(m_consumer->received().endsWith(more));
    if (output)
        QCOMPARE(m_consumer->received(), more);
}

void tst_Session::comesBackByItself_data() {
    QTest::addColumn<bool>("output");
    QTest::addColumn<QString>("meanwhile"); // what the user does while the device is away
    QTest::newRow("input") << false << QString();
    QTest::newRow("output") << true << QString();
    QTest::newRow("input deactivated") << false << u"deactivate"_s;
    QTest::newRow("output deactivated") << true << u"deactivate"_s;
    // Stops at the baud rate, before Open: the user has begun to set the port up anew.
    QTest::newRow("input activation failed") << false << u"activate"_s;
    QTest::newRow("output activation failed") << true << u"activate"_s;
}

void tst_Session::comesBackByItself() {
    QFETCH(bool, output);
    QFETCH(QString, meanwhile);
    openFarEnds();
    const PortSide side = output ? PortSide::Output : PortSide::Input;
    const QString link = linkPath(output ? u"out"_s : u"in"_s);
    const PortSettings outputSettings = plugInUnderLink(side, link);
    const PortSettings sideSettings = output ? outputSettings : settings(side);
    m_session->chooseInterval(0); // 200 ms: a shorter wait for the cycle below
    const QString name = port(side).objectName();
    activateOpen(PortSide::Input);
    QCOMPARE(m_session->activateOutput(outputSettings).cause, PortFailure::Cause::None);
    QCOMPARE(state(PortSide::Output), PortState::Open);
    m_session->byHand().timer.stop();
    writeUntilArrived(kSentences);
    m_session->byHand().cycle.PollTick();
    QCOMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);

    (output ? m_consumer : m_receiver).reset();
    (output ? m_output : m_input)->stop();
    if (output)
        writeUntilArrived("$GPTXT,finds the output gone*00\r\n");
    QTRY_COMPARE(state(side), PortState::Waiting);
    if (meanwhile == u"deactivate") {
        deactivate(side);
    } else if (meanwhile == u"activate") {
        QCOMPARE(activate(side, with(sideSettings, u"baudRate"_s, u"schnell"_s)).cause,
                 PortFailure::Cause::NotANumber);
    }
    m_session->byHand().decoders.tickCount = 7;
    const QString kept = buffer();
    plugIn(side, link);

    auto portEvents = [&] {
        QStringList events;
        for (const QString &line : m_trace->lines(u"port")) {
            if (line.startsWith(uR"(["port",")"_s + name + u'"'))
                events.append(line);
        }
        return events;
    };
    if (!meanwhile.isEmpty()) {
        // Nothing to wait for when the port stays closed: a few looks' time is given.
        QTest::qWait(5 * kLook.count());
        QVERIFY(!port(side).isOpen());
        QCOMPARE(state(side), PortState::Closed);
        QVERIFY(!portEvents().last().contains(u"returned"_s));
        // "Port aktivieren" starts the poll cycle even when it fails.
        QCOMPARE(m_session->pollTimer().isActive(), meanwhile == u"activate" && !output);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(state(side), PortState::Open, 10000);
    QVERIFY(port(side).isOpen());
    const QString device = u"\"%1\"]"_s.arg(link);
    const QStringList events = portEvents();
    QCOMPARE(events.mid(events.size() - 4),
             (QStringList{uR"(["port",")"_s + name + uR"(","closed",""])"_s,
                          uR"(["port",")"_s + name + uR"(","lost",)"_s + device,
                          uR"(["port",")"_s + name + uR"(","open",)"_s + device,
                          uR"(["port",")"_s + name + uR"(","returned",)"_s + device}));
    // As after "Port aktivieren" by hand: the buffer and the tick count are kept, and the input
    // side's poll cycle runs again.
    QCOMPARE(buffer(), kept);
    QVERIFY(m_session->module1().tickCount >= 7);
    QCOMPARE(m_session->pollTimer().isActive(), !output);
    // The cycle empties the log two ticks on, rather than after up to twenty.
    m_session->byHand().decoders.tickCount = 18;

    const QByteArray after =
        "$GPGGA,130000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*48\r\n";
    if (output) {
        m_receiver->write(after);
        QTRY_COMPARE(m_consumer->received(), after);
    } else {
        // The buffer kept from before holds the old GGA, which the decoder finds first until the
        // cycle empties the buffer; the receiver goes on sending, as a receiver does.
        QTimer receiver;
        connect(&receiver, &QTimer::timeout, this, [&] { m_receiver->write(after); });
        receiver.start(250);
        QTRY_COMPARE_WITH_TIMEOUT(m_session->model().utcTime.text(), u"13:00:00"_s, 30000);
    }
}

void tst_Session::outputNobodyReads() {
    openFarEnds();
    // The consuming program never reads: its end stays open (socat holds it), nothing is taken.
    m_consumer.reset();
    QSignalSpy tooSlow(m_session.get(), &Session::outputTooSlow);
    activateOpen(PortSide::Input);
    activateOpen(PortSide::Output);
    m_session->byHand().timer.stop();
    qint64 largestBacklog = 0;
    connect(&m_session->input(), &PortControl::dataReceived, this, [this, &largestBacklog] {
        largestBacklog = qMax(largestBacklog, m_session->output().bytesToWrite());
    });

    // Far more than the line and the backlog hold, as fast as the input takes it.
    QByteArray stream = kSentences;
    for (int n = 0; stream.size() < 3 * Backlog::kLimit; ++n)
        stream += "$GPTXT,01,01,02," + QByteArray::number(n) + ",filler filler filler*00\r\n";
    writeUntilArrived(stream);
    QCOMPARE(buffer(), QString::fromLatin1(stream));
    QVERIFY2(largestBacklog <= Backlog::kLimit, qPrintable(QString::number(largestBacklog)));
    const qint64 dropped = m_session->output().droppedBytes();
    QVERIFY(dropped > 0);
    QVERIFY(m_trace->lines().contains(QRegularExpression(uR"(^\["dropped","CommX2",\d+\]$)"_s)));

    // Told once; the input decodes on meanwhile.
    QCOMPARE(tooSlow.size(), 1);
    m_session->byHand().cycle.PollTick();
    QCOMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);
    writeUntilArrived(stream);
    QVERIFY(m_session->output().droppedBytes() > dropped);
    QCOMPARE(tooSlow.size(), 1);
    QCOMPARE(state(PortSide::Output), PortState::Open);

    // When the program starts reading at last, it gets what was not dropped, up to the newest.
    m_consumer = std::make_unique<FarEnd>(m_output->second());
    const qint64 sent = 2 * stream.size();
    QTRY_COMPARE_WITH_TIMEOUT(m_consumer->received().size(),
                              sent - m_session->output().droppedBytes(), 20000);
    QVERIFY(m_consumer->received().endsWith(stream.right(4096)));
}

QTEST_GUILESS_MAIN(tst_Session)
// gpsd passes sentences on only once it has made out what the receiver speaks, which takes it a
// few. A client of the test's own watches until gpsd has passed on everything written so far.
// plugIn(), with the port set up to open the link: the output's settings name it, and port "1"
// of the input means it. Returns the output's settings.
PortSettings tst_Session::plugInUnderLink(PortSide side, const QString &link) {
    plugIn(side, link);
    PortSettings outputSettings = settings(PortSide::Output);
    if (side == PortSide::Output)
        outputSettings.port = link;
    else
        qputenv("PELORA_COM1", link.toLocal8Bit());
    return outputSettings;
}

void tst_Session::gpsdKnowsTheReceiver(FarEnd &receiver, quint16 port) {
    QTcpSocket watcher;
    watcher.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(watcher.waitForConnected(5000));
    watcher.write(R"(?WATCH={"enable":true,"nmea":true};)"
                  "\n");
    QByteArray seen;
    const auto relayed = [&](const QByteArray &line) {
        watcher.waitForReadyRead(100);
        seen += watcher.readAll();
        return seen.contains(line);
    };
    QTRY_VERIFY_WITH_TIMEOUT((receiver.write(kGga.toLatin1()), relayed(kGga.toLatin1())), 20000);
    // Written once: when it is through, so is everything before it.
    const QByteArray last = withChecksum("GPTXT,01,01,02,last before the test");
    receiver.write(last);
    QTRY_VERIFY_WITH_TIMEOUT(relayed(last), 5000);
}

void tst_Session::startGpsdHolding(GpsdHeldReceiver &held) {
    QVERIFY2(held.line.start(), qPrintable(held.line.error()));
    QVERIFY2(held.gpsd.start({held.line.second()}), qPrintable(held.gpsd.error()));
    held.receiver = std::make_unique<FarEnd>(held.line.first());
    gpsdKnowsTheReceiver(*held.receiver, held.gpsd.port());
}

void tst_Session::gpsdInputDecodedLikeTheSerialOne() {
    // A recorded receiver, first straight from the line, then through a gpsd that holds it.
    const QByteArray stream = recordedSentences(u"garmin15x.log"_s);
    openFarEnds();
    activateOpen(PortSide::Input);
    m_receiver->write(stream);
    const QStringList serial = decodedOnce(stream);
    QVERIFY(!m_session->model().latitude.text().isEmpty());
    m_session->deactivateInput();

    GpsdHeldReceiver held;
    startGpsdHolding(held);
    if (QTest::currentTestFailed())
        return;
    PtyPair &line = held.line;
    TestGpsd &gpsd = held.gpsd;
    FarEnd &receiver = *held.receiver;
    m_trace->clear();
    QCOMPARE(m_session->activateInput({.port = gpsd.url()}).cause, PortFailure::Cause::None);
    QCOMPARE(m_trace->lines(u"port").value(0),
             uR"(["port","CommX1","pending","%1"])"_s.arg(gpsd.url()));
    QTRY_COMPARE(state(PortSide::Input), PortState::Open);
    QCOMPARE(m_wait[int(PortSide::Input)].source, line.second());
    // The same bytes, none of gpsd's own among them, and the same fields decoded from them.
    receiver.write(stream);
    QCOMPARE(decodedOnce(stream), serial);
    m_session->deactivateInput();
}

// gpsd without a receiver, one plugged in later and one it drops: all on one connection.
void tst_Session::gpsdDevicesComeAndGo() {
    TestGpsd gpsd;
    QVERIFY2(gpsd.start(), qPrintable(gpsd.error()));
    // A gpsd without devices ends when its last client goes; another program stays with it.
    QTcpSocket otherClient;
    otherClient.connectToHost(QHostAddress::LocalHost, gpsd.port());
    QVERIFY(otherClient.waitForConnected(5000));
    otherClient.write(R"(?WATCH={"enable":true};)"
                      "\n");
    const PortWait &wait = m_wait[int(PortSide::Input)];
    QCOMPARE(m_session->activateInput({.port = gpsd.url() + u"/dev/none"_s}).cause,
             PortFailure::Cause::None);
    QTRY_COMPARE(wait.reason, u"gpsd meldet /dev/none nicht"_s);
    QCOMPARE(state(PortSide::Input), PortState::Waiting);
    m_session->deactivateInput();

    m_trace->clear();
    QCOMPARE(m_session->activateInput({.port = gpsd.url()}).cause, PortFailure::Cause::None);
    m_session->byHand().timer.stop();
    QTRY_COMPARE(wait.reason, u"gpsd meldet kein Ger\u00e4t"_s);
    QCOMPARE(state(PortSide::Input), PortState::Waiting);
    QVERIFY(!wait.nextTryInMs); // nothing to try: gpsd tells when a device comes

    PtyPair line;
    QVERIFY2(line.start({}, {}, true), qPrintable(line.error()));
    FarEnd receiver(line.first());
    for (const bool again : {false, true}) {
        QVERIFY(gpsd.add(line.second()));
        QTRY_COMPARE_WITH_TIMEOUT(state(PortSide::Input), PortState::Open, 15000);
        QCOMPARE(wait.source, line.second());
        QCOMPARE(
            m_trace->lines(u"port").last(),
            uR"(["port","CommX1","%1","%2"])"_s.arg(again ? u"returned"_s : u"open"_s, gpsd.url()));
        QTRY_VERIFY_WITH_TIMEOUT((receiver.write(kGga.toLatin1()), buffer().endsWith(kGga)), 20000);
        QVERIFY(gpsd.remove(line.second()));
        QTRY_COMPARE(state(PortSide::Input), PortState::Waiting);
        QTRY_COMPARE(wait.reason, u"gpsd meldet kein Ger\u00e4t"_s);
    }
    // Never a new connection: the only reasons given were gpsd's own.
    const QStringList events = m_trace->lines(u"port");
    QCOMPARE(events.first(), uR"(["port","CommX1","pending","%1"])"_s.arg(gpsd.url()));
    for (const QString &event : events) {
        QVERIFY2(!event.contains(u"\"pending\""_s) || event == events.first(), qPrintable(event));
        QVERIFY2(!event.contains(u"\"waiting\""_s) || event.contains(u"gpsd meldet"_s),
                 qPrintable(event));
    }
    QCOMPARE(m_trace->lines(u"port").filter(u"\"lost\""_s).size(), 2);
    m_session->deactivateInput();
}

// gpsd stopped, as when its service restarts: the port waits while it tries again, pausing
// longer each time, and reads on once gpsd is back.
void tst_Session::gpsdStoppedAndStartedAgain() {
    m_session->setLinkTimings({.firstPause = std::chrono::milliseconds(50),
                               .longestPause = std::chrono::milliseconds(400),
                               .batch = std::chrono::milliseconds(1),
                               .returnLook = kLook});
    GpsdHeldReceiver held;
    startGpsdHolding(held);
    if (QTest::currentTestFailed())
        return;
    PtyPair &line = held.line;
    TestGpsd &gpsd = held.gpsd;
    FarEnd &receiver = *held.receiver;
    QCOMPARE(m_session->activateInput({.port = gpsd.url()}).cause, PortFailure::Cause::None);
    QTRY_COMPARE(state(PortSide::Input), PortState::Open);

    m_trace->clear();
    gpsd.stop();
    QTRY_COMPARE(state(PortSide::Input), PortState::Waiting);
    QTRY_VERIFY(m_trace->lines(u"port").filter(u"Verbindung abgelehnt"_s).size() >= 2);
    QTest::qWait(1500);
    // 50, 100, 200, 400, 400, 400 ms: seven tries in 1.5 s at most, not one every 50 ms.
    const qsizetype tries = m_trace->lines(u"port").filter(u"Verbindung abgelehnt"_s).size();
    QVERIFY2(tries <= 8, qPrintable(QString::number(tries)));
    QVERIFY(gpsd.start({line.second()}));
    QTRY_COMPARE_WITH_TIMEOUT(state(PortSide::Input), PortState::Open, 5000);
    QVERIFY(m_trace->lines(u"port").contains(
        uR"(["port","CommX1","returned","%1"])"_s.arg(gpsd.url())));
    // Fields flow again: gpsd has to make out the receiver anew.
    m_session->byHand().timer.stop();
    QTRY_VERIFY_WITH_TIMEOUT((receiver.write(kGga.toLatin1()), buffer().contains(kGga)), 20000);
    m_session->byHand().cycle.PollTick();
    QCOMPARE(m_session->model().latitude.text(), u"48 \u00B0  07.038 ' N"_s);
    m_session->deactivateInput();
}

#include "tst_session.moc"
