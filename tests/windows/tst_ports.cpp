// The main window's binding to its session's ports, over real pseudo-terminal pairs: the buttons
// activate and deactivate, the indicators show the ports' states, and the messages tell what
// failed or fell behind. The rules behind them are tested on the session itself (tst_session).
#include "ptypair.h"
#include "sentences.h"
#include "session/session.h"
#include "testdesktop.h"
#include "ui_form1.h"
#include "windows/form1.h"
#include "windows/indicator.h"
#include "windows/logview.h"

#include <QMessageBox>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

using sentences::kSentences;

class tst_Ports : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void activatedAndDeactivatedThroughTheWindow();
    void deactivationWithoutActivation();
    void indicatorShowsThePortState_data();
    void indicatorShowsThePortState();
    void inputListNamesItsAddress();
    void tcpOutputCountsItsClients();
    void failedActivation_data();
    void failedActivation();
    void outputTooSlowToldWithoutAModalWindow();

private:
    void activate(QPushButton *button, QPushButton *indicator);
    void setText(const QString &combo, const QString &text);
    QString buffer() const { return m_session->receiveLog().text().toString(); }
    // The message box of that name while it is open.
    QMessageBox *message(const QString &name) const {
        return m_form->findChild<QMessageBox *>(name, Qt::FindDirectChildrenOnly);
    }
    void dismissMessage();

    std::unique_ptr<PtyPair> m_input;  // first: the receiver, second: the program's input port
    std::unique_ptr<PtyPair> m_output; // first: the program's output port, second: the consumer
    std::unique_ptr<FarEnd> m_receiver;
    std::unique_ptr<FarEnd> m_consumer;
    TestDesktop m_desktop; // the position changes load the map: keep it off the network
    std::unique_ptr<Session> m_session;
    std::unique_ptr<Form1> m_form;
};

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
    m_form = std::make_unique<Form1>(*m_session, m_desktop.services());
    m_form->ui().Combo7->setCurrentText(m_output->first());
}

void tst_Ports::cleanup() {
    m_form.reset();
    m_session.reset();
    m_receiver.reset();
    m_consumer.reset();
    m_input.reset();
    m_output.reset();
    qunsetenv("PELORA_COM1");
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

// From the buttons through the session to the display and back: the interval chosen, the port
// activated, the sentences decoded, and everything emptied again on deactivation.
void tst_Ports::activatedAndDeactivatedThroughTheWindow() {
    Ui::Form1 &ui = m_form->ui();
    ui.Option1_0->click(); // 200 ms
    activate(ui.Command1, ui.Command3);
    activate(ui.Command5, ui.Command7);
    QCOMPARE(m_session->pollTimer().interval(), 200);
    m_receiver->write(kSentences);
    QTRY_COMPARE(m_session->model().utcTime.text(), u"12:35:19"_s);
    QTRY_COMPARE(m_session->model().utcDate.text(), u"23.03.94"_s);
    QCOMPARE(m_session->model().altitude.text(), u"545.4 m"_s);
    QCOMPARE(buffer(), QString::fromLatin1(kSentences));
    QTRY_COMPARE(m_consumer->received(), kSentences);
    QTRY_VERIFY(ui.Text1->lineCount() > 1);

    ui.Command2->click();
    QVERIFY(!m_session->input().isOpen());
    QCOMPARE(Indicator::colour(ui.Command3), Indicator::kRed);
    QCOMPARE(ui.Command3->text(), u"Aus"_s);
    QVERIFY(buffer().isEmpty());
    QCOMPARE(ui.Text1->lineCount(), 1);
    QVERIFY(ui.Text1->lineText(0).isEmpty());
    QVERIFY(m_session->model().utcTime.text().isEmpty());
    QCOMPARE(ui.Command7->text(), u"An"_s);
    ui.Command6->click();
    QVERIFY(!m_session->output().isOpen());
    QCOMPARE(ui.Command7->text(), u"Aus"_s);
}

void tst_Ports::deactivationWithoutActivation() {
    Ui::Form1 &ui = m_form->ui();
    ui.Command2->click();
    ui.Command6->click();
    QCOMPARE(Indicator::colour(ui.Command3), Indicator::kRed);
    QCOMPARE(ui.Command3->text(), u"Aus"_s);
    QCOMPARE(Indicator::colour(ui.Command7), Indicator::kRed);
    QCOMPARE(ui.Command7->text(), u"Aus"_s);
    QVERIFY(!message(u"portMessage"_s));
}

void tst_Ports::indicatorShowsThePortState_data() {
    QTest::addColumn<PortSide>("side");
    QTest::addColumn<PortState>("state");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("green");
    for (const PortSide side : {PortSide::Input, PortSide::Output}) {
        const char *name = side == PortSide::Input ? "input" : "output";
        QTest::addRow("%s untouched", name) << side << PortState::Untouched << QString() << false;
        QTest::addRow("%s open", name) << side << PortState::Open << u"An"_s << true;
        QTest::addRow("%s waiting", name) << side << PortState::Waiting << u"Aus"_s << false;
        QTest::addRow("%s closed", name) << side << PortState::Closed << u"Aus"_s << false;
    }
}

// Whatever the session tells, by hand or because a device went or came back by itself, shows on
// that side's indicator only, and never as a message.
void tst_Ports::indicatorShowsThePortState() {
    QFETCH(PortSide, side);
    QFETCH(PortState, state);
    QFETCH(QString, caption);
    QFETCH(bool, green);
    Ui::Form1 &ui = m_form->ui();
    QPushButton *indicator = side == PortSide::Input ? ui.Command3 : ui.Command7;
    QPushButton *other = side == PortSide::Input ? ui.Command7 : ui.Command3;
    // From a state that differs in caption and colour from the one told.
    const PortState before = state == PortState::Open ? PortState::Closed : PortState::Open;
    emit m_session->portStateChanged(side, before, {});
    emit m_session->portStateChanged(
        side, state, {.device = u"/dev/ttyUSB0"_s, .reason = {}, .nextTryInMs = {}});
    QCOMPARE(indicator->text(), caption);
    QCOMPARE(Indicator::colour(indicator), green ? Indicator::kGreen : Indicator::kRed);
    QCOMPARE(indicator->toolTip().contains(u"/dev/ttyUSB0"_s), state == PortState::Waiting);
    QVERIFY(other->text().isEmpty());
    QCOMPARE(Indicator::colour(other), Indicator::kRed);
    QVERIFY(!message(u"portMessage"_s));
}

void tst_Ports::inputListNamesItsAddress() {
    setText(u"Combo1"_s, u"tcp://127.0.0.1:4001"_s);
    QCOMPARE(m_form->ui().Combo1->toolTip(), u"Verbindet zu 127.0.0.1:4001"_s);
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

void tst_Ports::failedActivation_data() {
    QTest::addColumn<bool>("output");
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("detail"); // each must appear in the message's detail line
    // One setting of each list that a port is set up from; every failure's detail is the
    // session's (tst_session).
    const QString noAddress = u"ist keine g\u00fcltige Netzadresse"_s;
    QTest::newRow("input baud abc")
        << false << u"Combo2"_s << u"abc"_s
        << QStringList{u"\u201e\u00dc-rate\u201c"_s, u"\u201eabc\u201c"_s};
    QTest::newRow("input data bits 9")
        << false << u"Combo4"_s << u"9"_s << QStringList{u"\u201eDatenbit\u201c 9"_s};
    QTest::newRow("input stop bits empty")
        << false << u"Combo5"_s << u" "_s << QStringList{u"\u201eStopbit\u201c ist leer"_s};
    QTest::newRow("input tcp without a port")
        << false << u"Combo1"_s << u"tcp://host"_s
        << QStringList{u"\u201etcp://host\u201c "_s + noAddress};
    QTest::newRow("output busy") << true << u"Combo7"_s << u"{consumer}"_s
                                 << QStringList{u"{consumer} wird schon"_s, u"anderen Programm"_s};
    QTest::newRow("output baud abc")
        << true << u"Combo8"_s << u"abc"_s
        << QStringList{u"\u201e\u00dc-rate\u201c"_s, u"\u201eabc\u201c"_s};
    QTest::newRow("output data bits 9")
        << true << u"Combo10"_s << u"9"_s << QStringList{u"\u201eDatenbit\u201c 9"_s};
    QTest::newRow("output on the input's device")
        << true << u"Combo7"_s << u"1"_s << QStringList{u"{input} ist schon als Eingang"_s};
}

void tst_Ports::failedActivation() {
    QFETCH(bool, output);
    QFETCH(QString, combo);
    QFETCH(QString, text);
    QFETCH(QStringList, detail);
    const auto devices = [this](const QString &s) { return withDevices(s, *m_input, *m_output); };
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
    for (const QString &words : detail)
        QVERIFY2(said.contains(devices(words)), qPrintable(said));

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

// The session tells once that the output fell behind (tst_session); the window says so without
// a modal window, so that the input decodes on meanwhile, and a second word while it is open
// adds no second box.
void tst_Ports::outputTooSlowToldWithoutAModalWindow() {
    emit m_session->outputTooSlow();
    QMessageBox *tooSlow = message(u"backlogMessage"_s);
    QVERIFY(tooSlow);
    QVERIFY(tooSlow->isVisible());
    QCOMPARE(tooSlow->windowModality(), Qt::NonModal);
    QCOMPARE(tooSlow->windowTitle(), u"Achtung"_s);
    QCOMPARE(tooSlow->text(), u"Ausgang zu langsam: \u00e4ltere Daten wurden verworfen."_s);
    emit m_session->outputTooSlow();
    QCOMPARE(m_form->findChildren<QMessageBox *>().size(), 1);
    tooSlow->close();
    QTRY_VERIFY(!message(u"backlogMessage"_s));
}

QTEST_MAIN(tst_Ports)
#include "tst_ports.moc"
