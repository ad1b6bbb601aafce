// The poll timer behind the main window: activation starts it, the interval group sets it,
// deactivation stops it; and the clipboard copy.
#include "ptypair.h"
#include "sentences.h"
#include "session/session.h"
#include "testdesktop.h"
#include "tracecapture.h"
#include "ui_form1.h"
#include "windows/form1.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using sentences::kGga;

class tst_PollTimer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void timerDrivesTheTicks();
    void intervalChoice_data();
    void intervalChoice();
    void intervalChosenWhileStopped();
    void copyBufferToClipboard();

private:
    QString buffer() const { return m_session->receiveLog().text().toString(); }
    qint16 count() const { return m_session->module1().tickCount; }

    std::unique_ptr<PtyPair> m_pair; // first: the receiver, second: the program's input port
    std::unique_ptr<FarEnd> m_receiver;
    TestDesktop m_desktop; // the position changes load the map: keep it off the network
    std::unique_ptr<Session> m_session;
    std::unique_ptr<Form1> m_form;
    std::optional<TraceCapture> m_trace;
};

void tst_PollTimer::initTestCase() {
    m_trace.emplace();
}

void tst_PollTimer::cleanupTestCase() {
    m_trace.reset();
}

void tst_PollTimer::init() {
    m_pair = std::make_unique<PtyPair>();
    QVERIFY2(m_pair->start(), qPrintable(m_pair->error()));
    m_receiver = std::make_unique<FarEnd>(m_pair->first());
    QVERIFY(m_receiver->isOpen());
    qputenv("PELORA_COM1", m_pair->second().toLocal8Bit());
    m_session = std::make_unique<Session>();
    m_form = std::make_unique<Form1>(*m_session, m_desktop.services());
    m_trace->clear();
}

void tst_PollTimer::cleanup() {
    m_form.reset();
    m_session.reset();
    m_receiver.reset();
    m_pair.reset();
    qunsetenv("PELORA_COM1");
}

void tst_PollTimer::timerDrivesTheTicks() {
    Ui::Form1 &ui = m_form->ui();
    ui.Option1_0->click();
    QSignalSpy ticks(&m_session->pollTimer(), &QTimer::timeout);
    ui.Command1->click();
    QVERIFY(m_session->pollTimer().isActive());
    QTRY_VERIFY(count() >= 2);
    QVERIFY(m_trace->lines().contains(uR"(["tick",2])"_s));
    ui.Command2->click();
    const int seen = ticks.count();
    QTest::qWait(500);
    QCOMPARE(ticks.count(), seen);
}

void tst_PollTimer::intervalChoice_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("interval");
    QTest::newRow("200") << 0 << 200;
    QTest::newRow("500, already selected") << 1 << 500;
    QTest::newRow("800") << 2 << 800;
    QTest::newRow("1000") << 3 << 1000;
    QTest::newRow("5000") << 4 << 5000;
}

void tst_PollTimer::intervalChoice() {
    QFETCH(int, index);
    QFETCH(int, interval);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->ui().Command1->click();
    auto *button = m_form->findChild<QAbstractButton *>(u"Option1_%1"_s.arg(index));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(button->isChecked());
    QCOMPARE(m_session->pollTimer().interval(), interval);
    QVERIFY(m_session->pollTimer().isActive());
}

void tst_PollTimer::intervalChosenWhileStopped() {
    QCOMPARE(m_session->pollTimer().interval(), 500); // nothing chosen yet
    m_form->ui().Option1_4->click();
    QVERIFY(!m_session->pollTimer().isActive());
    m_form->ui().Command1->click();
    QCOMPARE(m_session->pollTimer().interval(), 5000);
}

void tst_PollTimer::copyBufferToClipboard() {
    QClipboard *clipboard = QGuiApplication::clipboard();
    m_form->ui().Command4->click();
    QCOMPARE(clipboard->text(), QString());

    // Exactly the buffer: carriage returns and a character above 127 included.
    const QString text = kGga + u"$GPTXT,01,01,02,\u00B0C*00\r\n"_s;
    m_form->ui().Command1->click();
    m_session->byHand().timer.stop(); // no cycle ends while the test looks
    m_receiver->write(text.toLatin1());
    QTRY_COMPARE(buffer(), text);
    m_trace->clear();
    m_form->ui().Command4->click();
    QCOMPARE(clipboard->text(), text);
    clipboard->setText(u"something else"_s);
    m_form->ui().Command4->click();
    QCOMPARE(clipboard->text(), text);
    QCOMPARE(buffer(), text);
    QCOMPARE(m_trace->lines().first(),
             u"[\"clipboard\",\"%1\"]"_s.arg(
                 QString(text).replace(u"\r"_s, u"\\r"_s).replace(u"\n"_s, u"\\n"_s)));
}

QTEST_MAIN(tst_PollTimer)
#include "tst_polltimer.moc"
