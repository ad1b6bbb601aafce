// The main window's input and output ports over real pseudo-terminal pairs: a receiver writes at
// one end of the input pair, a consuming program reads at the far end of the output pair.
#include "ptypair.h"
#include "sentences.h"
#include "session/session.h"
#include "testdesktop.h"
#include "tracecapture.h"
#include "ui_form1.h"
#include "windows/form1.h"
#include "windows/indicator.h"
#include "windows/logview.h"

#include <QDir>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;

// Lost devices are looked for this often here; the program looks every second.
constexpr std::chrono::milliseconds kLook{50};

using sentences::kSentences;

class tst_Ports : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void decodedAfterTheNextTicks();
    void tcpInputDecodedLikeTheSerialOne();
    void tcpOutputCountsItsClients();
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

private:
    void activate(QPushButton *button, QPushButton *indicator);
    void setText(const QString &combo, const QString &text);
    QString buffer() const { return m_session->receiveLog().text().toString(); }
    // The message box of that name while it is open.
    QMessageBox *message(const QString &name) const {
        return m_form->findChild<QMessageBox *>(name, Qt::FindDirectChildrenOnly);
    }
    void dismissMessage();
    QString linkPath(const QString &which) const;
    void writeUntilArrived(const QByteArray &bytes);
    QStringList decodedOnce(const QByteArray &stream);
    void plugIn(bool output, const QString &link);

    std::unique_ptr<PtyPair> m_input;  // first: the receiver, second: the program's input port
    std::unique_ptr<PtyPair> m_output; // first: the program's output port, second: the consumer
    std::unique_ptr<FarEnd> m_receiver;
    std::unique_ptr<FarEnd> m_consumer;
    TestDesktop m_desktop; // the position changes load the map: keep it off the network
    std::unique_ptr<Session> m_session;
    std::unique_ptr<Form1> m_form;
    std::optional<TraceCapture> m_trace;
};

void tst_Ports::initTestCase() {
    m_trace.emplace();
}

void tst_Ports::cleanupTestCase() {
    m_trace.reset();
}

void tst_Ports::init() {
    m_input = std::make_unique<PtyPair>();
    m_output = std::make_unique<PtyPair>();
    QVERIFY2(m_input->start(), qPrintable(m_input->error()));
    QVERIFY2(m_output->start(), qPrintable(m_output->error()));
    m_receiver = std::make_unique<FarEnd>(m_input->first());
    m_consumer = std::make_unique<FarEnd>(m_output->second());
    QVERIFY(m_receiver->isOpen() && m_consumer->isOpen());
    // Port "1" is the simulated receiver, as the start script sets it up; the output port is
    // typed into its list as a path.
    qputenv("PELORA_COM1", m_input->second().toLocal8Bit());
    m_session = std::make_unique<Session>();
    m_session->setLinkTimings({.returnLook = kLook});
    m_form = std::make_unique<Form1>(*m_session, m_desktop.services());
    m_form->ui().Combo7->setCurrentText(m_output->first());
    m_trace->clear();
}

void tst_Ports::cleanup() {
    m_form.reset();
    m_session.reset();
    m_receiver.reset();
    m_consumer.reset();
    m_input.reset();
    m_output.reset();
    qunsetenv("PELORA_COM1");
    QFile::remove(linkPath(u"in"_s));
    QFile::remove(linkPath(u"out"_s));
}

void tst_Ports::activate(QPushButton *button, QPushButton *indicator) {
    button->click();
    QCOMPARE(Indicator::colour(indicator), Indicator::kGreen);
    QCOMPARE(indicator->text(), u"An"_s);
}

void tst_Ports::setText(const QString &combo, const QString &text) {
    m_form->findChild<QComboBox *>(combo)->setCurrentText(text);
}

void tst_Ports::dismissMessage() {
    QMessageBox *shown = message(u"portMessage"_s);
    QVERIFY(shown);
    QVERIFY(shown->isVisible());
    QCOMPARE(shown->windowTitle(), u"Achtung"_s);
    QCOMPARE(shown->text(), u"falsche Porteinstellung"_s);
    shown->close();
    QTRY_VERIFY(!message(u"portMessage"_s));
}

QString tst_Ports::linkPath(const QString &which) const {
    return QDir::temp().filePath(
        u"pelora-tst-ports-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(which));
}

void tst_Ports::writeUntilArrived(const QByteArray &bytes) {
    const qsizetype before = m_session->receiveLog().size();
    m_receiver->write(bytes);
    QTRY_COMPARE(m_session->receiveLog().size(), before + bytes.size());
}

// The program's end of the input or output pair under a fixed link name, as a USB adapter keeps
// its device name when it is plugged in again.
void tst_Ports::plugIn(bool output, const QString &link) {
    if (output) {
        m_output = std::make_unique<PtyPair>();
        QVERIFY2(m_output->start(link), qPrintable(m_output->error()));
        m_consumer = std::make_unique<FarEnd>(m_output->second());
    } else {
        m_input = std::make_unique<PtyPair>();
        QVERIFY2(m_input->start({}, link), qPrintable(m_input->error()));
        m_receiver = std::make_unique<FarEnd>(m_input->first());
    }
}

void tst_Ports::decodedAfterTheNextTicks() {
    Ui::Form1 &ui = m_form->ui();
    ui.Option1_0->click(); // 200 ms
    activate(ui.Command1, ui.Command3);
    m_receiver->write(kSentences);
    QTRY_COMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);
    QTRY_COMPARE(m_session->model().utcDate.text(), u"23.03.94"_s);
    QCOMPARE(m_session->model().altitude.text(), u"545.4 m"_s);
    QCOMPARE(m_session->model().course.text(), u"084.4"_s);
    QCOMPARE(m_session->model().pdop.text(), u"2.5"_s);
    QCOMPARE(m_session->model().satellites[0].text(), u"04"_s);
    QCOMPARE(buffer(), QString::fromLatin1(kSentences));
}

QStringList tst_Ports::decodedOnce(const QByteArray &stream) {
    // One tick over the whole stream, so that both ports are decoded from the same buffer.
    m_session->byHand().timer.stop();
    [&] { QTRY_COMPARE(buffer(), QString::fromLatin1(stream)); }();
    m_session->byHand().cycle.PollTick();
    QStringList texts;
    for (DisplayField *field : m_session->model().fields())
        texts << field->text();
    return texts;
}

void tst_Ports::tcpInputDecodedLikeTheSerialOne() {
    // A recorded receiver, first over the serial line, then shared over the network by a server
    // this test runs.
    QFile log(QStringLiteral(PELORA_TESTDATA "/garmin15x.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray stream = log.readAll();
    Ui::Form1 &ui = m_form->ui();
    activate(ui.Command1, ui.Command3);
    m_receiver->write(stream);
    const QStringList serial = decodedOnce(stream);
    QVERIFY(!m_session->model().utcTime.text().isEmpty());
    QVERIFY(!m_session->model().latitude.text().isEmpty());
    ui.Command2->click();

    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    setText(u"Combo1"_s, u"tcp://127.0.0.1:%1"_s.arg(server.serverPort()));
    QCOMPARE(ui.Combo1->toolTip(), u"Verbindet zu 127.0.0.1:%1"_s.arg(server.serverPort()));
    // Active at once, but green only once connected.
    m_trace->clear();
    ui.Command1->click();
    const QString pending =
        uR"(["port","CommX1","pending","tcp://127.0.0.1:%1"])"_s.arg(server.serverPort());
    QCOMPARE(m_trace->lines(u"port").value(0), pending);
    QTRY_COMPARE(Indicator::colour(ui.Command3), Indicator::kGreen);
    QCOMPARE(ui.Command3->text(), u"An"_s);
    // Waiting for the indicator may have taken the connection already.
    QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(10000));
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    peer->write(stream);
    QCOMPARE(decodedOnce(stream), serial);

    // The peer goes away: the indicator says so while the port tries again, and turns green
    // once it is back, reading on with the same settings.
    peer->disconnectFromHost();
    QTRY_COMPARE(ui.Command3->text(), u"Aus"_s);
    QCOMPARE(Indicator::colour(ui.Command3), Indicator::kRed);
    QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(10000));
    peer.reset(server.nextPendingConnection());
    QTRY_COMPARE(Indicator::colour(ui.Command3), Indicator::kGreen);
    QCOMPARE(ui.Command3->text(), u"An"_s);
    peer->write("$GPTXT,01,01,02,back*00\r\n");
    QTRY_VERIFY(buffer().endsWith(u"back*00\r\n"_s));
    ui.Command2->click();
}

void tst_Ports::tcpOutputCountsItsClients() {
    Ui::Form1 &ui = m_form->ui();
    setText(u"Combo7"_s, u"tcp://127.0.0.1:0"_s);
    QCOMPARE(ui.Combo7->toolTip(), u"Wartet auf Verbindungen an 127.0.0.1:0"_s);
    activate(ui.Command5, ui.Command7);
    const quint16 port = m_session->output().localPort();
    QVERIFY(port != 0);
    QTRY_COMPARE(ui.Command7->toolTip(), u"0 Clients verbunden"_s);
    QTcpSocket first;
    QTcpSocket second;
    first.connectToHost(QHostAddress::LocalHost, port);
    QTRY_COMPARE(ui.Command7->toolTip(), u"1 Client verbunden"_s);
    second.connectToHost(QHostAddress::LocalHost, port);
    QTRY_COMPARE(ui.Command7->toolTip(), u"2 Clients verbunden"_s);
    // What a client sends is read and thrown away; the port goes on serving.
    QVERIFY(first.waitForConnected(10000));
    first.write("ignored\r\n");
    activate(ui.Command1, ui.Command3);
    m_receiver->write(kSentences);
    QTRY_COMPARE(second.bytesAvailable(), kSentences.size());
    QCOMPARE(second.readAll(), kSentences);
    QTRY_COMPARE(first.bytesAvailable(), kSentences.size());
    QCOMPARE(first.readAll(), kSentences);
    // A client that closes looks like one that has only finished sending, until the next bytes
    // find it gone.
    first.abort();
    m_receiver->write(kSentences);
    QTRY_COMPARE(ui.Command7->toolTip(), u"1 Client verbunden"_s);
    ui.Command6->click();
    QVERIFY(ui.Command7->toolTip().isEmpty());
}

void tst_Ports::deactivationResetsDisplayBufferAndList() {
    Ui::Form1 &ui = m_form->ui();
    activate(ui.Command1, ui.Command3);
    activate(ui.Command5, ui.Command7);
    m_receiver->write(kSentences);
    QTRY_COMPARE(m_session->receiveLog().size(), kSentences.size());
    m_session->byHand().cycle.PollTick();
    m_session->byHand().decoders.ListSentenceTypes();
    QCOMPARE(m_session->model().latitude.text(), u"48 \u00B0  07.038 ' N"_s);
    QVERIFY(!m_session->model().sentenceTypes().isEmpty());

    m_trace->clear();
    ui.Command2->click();
    QVERIFY(!m_session->pollTimer().isActive());
    QVERIFY(!m_session->input().isOpen());
    QCOMPARE(Indicator::colour(ui.Command3), Indicator::kRed);
    QCOMPARE(ui.Command3->text(), u"Aus"_s);
    QVERIFY(buffer().isEmpty());
    QCOMPARE(ui.Text1->lineCount(), 1);
    QVERIFY(ui.Text1->lineText(0).isEmpty());
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
    QCOMPARE(ui.Command7->text(), u"An"_s);
}

void tst_Ports::deactivationWithoutActivation() {
    Ui::Form1 &ui = m_form->ui();
    ui.Command2->click();
    ui.Command6->click();
    QCOMPARE(Indicator::colour(ui.Command3), Indicator::kRed);
    QCOMPARE(ui.Command3->text(), u"Aus"_s);
    QCOMPARE(Indicator::colour(ui.Command7), Indicator::kRed);
    QCOMPARE(ui.Command7->text(), u"Aus"_s);
    QVERIFY(!m_session->pollTimer().isActive());
    QVERIFY(buffer().isEmpty());
    QVERIFY(!message(u"portMessage"_s));
}

void tst_Ports::outputPortIsIndependent() {
    Ui::Form1 &ui = m_form->ui();
    // Reception and decoding without an output port.
    activate(ui.Command1, ui.Command3);
    m_receiver->write(kSentences);
    QTRY_COMPARE(m_session->receiveLog().size(), kSentences.size());
    m_session->byHand().cycle.PollTick();
    QCOMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);
    QVERIFY(m_consumer->received().isEmpty());

    // Starting and stopping the output leaves buffer, display and input port as they are.
    setText(u"Combo8"_s, u"19200"_s);
    activate(ui.Command5, ui.Command7);
    const termios line = m_output->kernelLineSettings(0);
    QCOMPARE(uint(cfgetospeed(&line)), uint(B19200));
    ui.Command6->click();
    QCOMPARE(ui.Command7->text(), u"Aus"_s);
    QVERIFY(!m_session->output().isOpen());
    QCOMPARE(buffer(), QString::fromLatin1(kSentences));
    QCOMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);
    QVERIFY(m_session->input().isOpen());
    QVERIFY(m_session->pollTimer().isActive());
    QCOMPARE(ui.Command3->text(), u"An"_s);
}

void tst_Ports::failedActivation_data() {
    QTest::addColumn<bool>("output");
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("detail"); // each must appear in the message's detail line
    // {input} and {output} are the program's ends of the pairs, {receiver} and {consumer} the
    // far ends, which the test holds open as another program would.
    const QString baud = u"\u201e\u00dc-rate\u201c"_s;
    const QString dataBits = u"\u201eDatenbit\u201c"_s;
    QTest::newRow("input baud abc")
        << false << u"Combo2"_s << u"abc"_s << QStringList{baud, u"\u201eabc\u201c"_s};
    QTest::newRow("input data bits 9")
        << false << u"Combo4"_s << u"9"_s << QStringList{dataBits + u" 9"_s};
    QTest::newRow("input data bits 7, the device refuses")
        << false << u"Combo4"_s << u"7"_s << QStringList{u"{input}"_s, dataBits + u" 7"_s};
    QTest::newRow("input stop bits empty")
        << false << u"Combo5"_s << u" "_s << QStringList{u"\u201eStopbit\u201c ist leer"_s};
    QTest::newRow("input missing device") << false << u"Combo1"_s << u"/dev/pelora-missing"_s
                                          << QStringList{u"/dev/pelora-missing gibt es nicht"_s};
    QTest::newRow("input empty name")
        << false << u"Combo1"_s << QString() << QStringList{u"\u201eCOM Port\u201c ist leer"_s};
    QTest::newRow("input busy") << false << u"Combo1"_s << u"{receiver}"_s
                                << QStringList{u"{receiver} wird schon"_s, u"anderen Programm"_s};
    QTest::newRow("input on the output's device")
        << false << u"Combo1"_s << u"{output}"_s
        << QStringList{u"{output} ist schon als Ausgang"_s};
    const QString noAddress = u"ist keine g\u00fcltige Netzadresse"_s;
    QTest::newRow("input tcp without a port")
        << false << u"Combo1"_s << u"tcp://host"_s
        << QStringList{u"\u201etcp://host\u201c "_s + noAddress};
    QTest::newRow("input tcp port too large")
        << false << u"Combo1"_s << u"tcp://host:99999"_s << QStringList{noAddress};
    QTest::newRow("output udp port no number")
        << true << u"Combo7"_s << u"udp://:x"_s << QStringList{noAddress};
    QTest::newRow("output tcp, nothing after the scheme")
        << true << u"Combo7"_s << u"tcp://"_s << QStringList{noAddress};
    QTest::newRow("output baud abc")
        << true << u"Combo8"_s << u"abc"_s << QStringList{baud, u"\u201eabc\u201c"_s};
    QTest::newRow("output data bits 9")
        << true << u"Combo10"_s << u"9"_s << QStringList{dataBits + u" 9"_s};
    QTest::newRow("output missing device")
        << true << u"Combo7"_s << u"ttyPeloraMissing"_s << QStringList{u"/dev/ttyPeloraMissing"_s};
    QTest::newRow("output busy") << true << u"Combo7"_s << u"{consumer}"_s
                                 << QStringList{u"{consumer} wird schon"_s, u"anderen Programm"_s};
    QTest::newRow("output on the input's device")
        << true << u"Combo7"_s << u"1"_s << QStringList{u"{input} ist schon als Eingang"_s};
}

void tst_Ports::failedActivation() {
    QFETCH(bool, output);
    QFETCH(QString, combo);
    QFETCH(QString, text);
    QFETCH(QStringList, detail);
    const auto devices = [this](QString s) {
        return s.replace(u"{input}"_s, m_input->second())
            .replace(u"{output}"_s, m_output->first())
            .replace(u"{receiver}"_s, m_input->first())
            .replace(u"{consumer}"_s, m_output->second());
    };
    Ui::Form1 &ui = m_form->ui();
    QPushButton *good = output ? ui.Command1 : ui.Command5;
    QPushButton *bad = output ? ui.Command5 : ui.Command1;
    QPushButton *goodIndicator = output ? ui.Command3 : ui.Command7;
    QPushButton *badIndicator = output ? ui.Command7 : ui.Command3;
    const PortControl &badPort = output ? m_session->output() : m_session->input();
    activate(good, goodIndicator);

    const QString typed = m_form->findChild<QComboBox *>(combo)->currentText();
    setText(combo, devices(text));
    bad->click();
    QVERIFY(!badPort.isOpen());
    // A first failed activation leaves the indicator as it was at start.
    QCOMPARE(Indicator::colour(badIndicator), Indicator::kRed);
    QVERIFY(badIndicator->text().isEmpty());
    QCOMPARE(Indicator::colour(goodIndicator), Indicator::kGreen);
    // The input activation has started the timer before it failed, and leaves it running.
    QVERIFY(m_session->pollTimer().isActive());
    // The message says which setting to change.
    QVERIFY(message(u"portMessage"_s));
    const QString said = message(u"portMessage"_s)->informativeText();
    for (const QString &part : detail)
        QVERIFY2(said.contains(devices(part)), qPrintable(said));

    // The message waits without holding anything up: data still flows in meanwhile.
    QByteArray sent;
    if (output) {
        sent += kSentences;
        m_receiver->write(kSentences);
        QTRY_COMPARE(buffer(), QString::fromLatin1(sent));
    }
    dismissMessage();

    // Corrected, the same port works, and nothing received so far is lost.
    m_session->byHand().timer.stop();
    setText(combo, typed);
    activate(bad, badIndicator);
    m_session->byHand().timer.stop();
    sent += "$GPTXT,01,01,02,after*00\r\n";
    m_receiver->write("$GPTXT,01,01,02,after*00\r\n");
    QTRY_COMPARE(buffer(), QString::fromLatin1(sent));
    QTRY_VERIFY(m_consumer->received().endsWith("after*00\r\n"));
}

void tst_Ports::failedReactivationTellsTheTruth_data() {
    QTest::addColumn<bool>("output");
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("staysOpen");
    // A text that is no number never reaches the open port; a setting it refuses closes it.
    QTest::newRow("input baud abc") << false << u"Combo2"_s << u"abc"_s << true;
    QTest::newRow("input data bits 9") << false << u"Combo4"_s << u"9"_s << false;
    QTest::newRow("input now missing") << false << u"Combo1"_s << u"/dev/pelora-missing"_s << false;
    QTest::newRow("output baud abc") << true << u"Combo8"_s << u"abc"_s << true;
    QTest::newRow("output data bits 9") << true << u"Combo10"_s << u"9"_s << false;
    // A device that is there but takes no line settings at all.
    QTest::newRow("input device refuses settings")
        << false << u"Combo1"_s << u"/dev/null"_s << false;
    QTest::newRow("output device refuses settings")
        << true << u"Combo7"_s << u"/dev/null"_s << false;
}

void tst_Ports::failedReactivationTellsTheTruth() {
    QFETCH(bool, output);
    QFETCH(QString, combo);
    QFETCH(QString, text);
    QFETCH(bool, staysOpen);
    Ui::Form1 &ui = m_form->ui();
    QPushButton *button = output ? ui.Command5 : ui.Command1;
    QPushButton *indicator = output ? ui.Command7 : ui.Command3;
    ui.Option1_0->click(); // 200 ms: a shorter wait for the cycle below
    const PortControl &port = output ? m_session->output() : m_session->input();
    activate(ui.Command1, ui.Command3);
    activate(ui.Command5, ui.Command7);
    m_session->byHand().timer.stop();
    writeUntilArrived(kSentences);
    m_session->byHand().cycle.PollTick();
    QCOMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);

    const QString typed = m_form->findChild<QComboBox *>(combo)->currentText();
    setText(combo, text);
    button->click();
    dismissMessage();
    QCOMPARE(port.isOpen(), staysOpen);
    QCOMPARE(Indicator::colour(indicator), staysOpen ? Indicator::kGreen : Indicator::kRed);
    QCOMPARE(indicator->text(), staysOpen ? u"An"_s : u"Aus"_s);
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
    setText(combo, typed);
    activate(button, indicator);
    m_session->byHand().timer.stop();
    writeUntilArrived("$GPTXT,01,01,02,after*00\r\n");
    QCOMPARE(buffer(), QString::fromLatin1(expected) + u"$GPTXT,01,01,02,after*00\r\n"_s);
    QTRY_VERIFY(m_consumer->received().endsWith("after*00\r\n"));
}

void tst_Ports::unpluggedMidStream_data() {
    QTest::addColumn<bool>("output");
    QTest::newRow("input") << false;
    QTest::newRow("output") << true;
}

void tst_Ports::unpluggedMidStream() {
    QFETCH(bool, output);
    Ui::Form1 &ui = m_form->ui();
    // The program's end of the pair that is unplugged gets a fixed name, so that the device
    // that comes back is found under the same name.
    const QString link = linkPath(output ? u"out"_s : u"in"_s);
    plugIn(output, link);
    if (output)
        ui.Combo7->setCurrentText(link);
    else
        qputenv("PELORA_COM1", link.toLocal8Bit());
    QPushButton *indicator = output ? ui.Command7 : ui.Command3;
    activate(ui.Command1, ui.Command3);
    activate(ui.Command5, ui.Command7);
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
    QTRY_COMPARE(indicator->text(), u"Aus"_s);
    QCOMPARE(Indicator::colour(indicator), Indicator::kRed);
    QVERIFY(!(output ? m_session->output() : m_session->input()).isOpen());
    QVERIFY(!message(u"portMessage"_s));
    QCOMPARE((output ? ui.Command3 : ui.Command7)->text(), u"An"_s);

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
    plugIn(output, link);
    activate(output ? ui.Command5 : ui.Command1, indicator);
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

void tst_Ports::comesBackByItself_data() {
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

void tst_Ports::comesBackByItself() {
    QFETCH(bool, output);
    QFETCH(QString, meanwhile);
    Ui::Form1 &ui = m_form->ui();
    const QString link = linkPath(output ? u"out"_s : u"in"_s);
    plugIn(output, link);
    if (output)
        ui.Combo7->setCurrentText(link);
    else
        qputenv("PELORA_COM1", link.toLocal8Bit());
    QPushButton *indicator = output ? ui.Command7 : ui.Command3;
    ui.Option1_0->click(); // 200 ms: a shorter wait for the cycle below
    const PortControl &port = output ? m_session->output() : m_session->input();
    const QString name = port.objectName();
    activate(ui.Command1, ui.Command3);
    activate(ui.Command5, ui.Command7);
    m_session->byHand().timer.stop();
    writeUntilArrived(kSentences);
    m_session->byHand().cycle.PollTick();
    QCOMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);

    (output ? m_consumer : m_receiver).reset();
    (output ? m_output : m_input)->stop();
    if (output)
        writeUntilArrived("$GPTXT,finds the output gone*00\r\n");
    QTRY_COMPARE(indicator->text(), u"Aus"_s);
    QCOMPARE(Indicator::colour(indicator), Indicator::kRed);
    if (meanwhile == u"deactivate") {
        (output ? ui.Command6 : ui.Command2)->click();
    } else if (meanwhile == u"activate") {
        setText(output ? u"Combo8"_s : u"Combo2"_s, u"schnell"_s);
        (output ? ui.Command5 : ui.Command1)->click();
        dismissMessage();
    }
    m_session->byHand().decoders.tickCount = 7;
    const QString kept = buffer();
    plugIn(output, link);

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
        QVERIFY(!port.isOpen());
        QCOMPARE(indicator->text(), u"Aus"_s);
        QVERIFY(!portEvents().last().contains(u"returned"_s));
        // "Port aktivieren" starts the poll cycle even when it fails.
        QCOMPARE(m_session->pollTimer().isActive(), meanwhile == u"activate" && !output);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(indicator->text(), u"An"_s, 10000);
    QCOMPARE(Indicator::colour(indicator), Indicator::kGreen);
    QVERIFY(port.isOpen());
    QVERIFY(!message(u"portMessage"_s));
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

void tst_Ports::outputNobodyReads() {
    Ui::Form1 &ui = m_form->ui();
    // The consuming program never reads: its end stays open (socat holds it), nothing is taken.
    m_consumer.reset();
    activate(ui.Command1, ui.Command3);
    activate(ui.Command5, ui.Command7);
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

    // The user is told once, without a modal window: the input decodes on meanwhile.
    QMessageBox *tooSlow = message(u"backlogMessage"_s);
    QVERIFY(tooSlow);
    QVERIFY(tooSlow->isVisible());
    QCOMPARE(tooSlow->windowModality(), Qt::NonModal);
    QCOMPARE(tooSlow->windowTitle(), u"Achtung"_s);
    QCOMPARE(tooSlow->text(), u"Ausgang zu langsam: \u00e4ltere Daten wurden verworfen."_s);
    QCOMPARE(m_form->findChildren<QMessageBox *>().size(), 1);
    m_session->byHand().cycle.PollTick();
    QCOMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);
    tooSlow->close();
    QTRY_VERIFY(!message(u"backlogMessage"_s));
    writeUntilArrived(stream);
    QVERIFY(m_session->output().droppedBytes() > dropped);
    QVERIFY(!message(u"backlogMessage"_s));
    QCOMPARE(ui.Command7->text(), u"An"_s);

    // When the program starts reading at last, it gets what was not dropped, up to the newest.
    m_consumer = std::make_unique<FarEnd>(m_output->second());
    const qint64 sent = 2 * stream.size();
    QTRY_COMPARE_WITH_TIMEOUT(m_consumer->received().size(),
                              sent - m_session->output().droppedBytes(), 20000);
    QVERIFY(m_consumer->received().endsWith(stream.right(4096)));
}

QTEST_MAIN(tst_Ports)
#include "tst_ports.moc"
