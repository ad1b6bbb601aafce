// The poll cycle: decoders on every tick, the type list in the tick that starts at 10, the buffer
// emptied at 20, counting only while the input port is open; the interval choice; the clipboard.
#include "../serial/ptypair.h"
#include "app/form1.h"
#include "tests/support/testdesktop.h"
#include "tests/support/tracecapture.h"
#include "ui_form1.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString kGga = u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"_s;
const QString kRmc = u"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"_s;

} // namespace

class tst_PollCycle : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void cycleOfTwentyCountedTicks();
    void counterStandsStillWhileClosed();
    void counterSurvivesDeactivation();
    void timerDrivesTheTicks();
    void intervalChoice_data();
    void intervalChoice();
    void intervalChosenWhileStopped();
    void copyBufferToClipboard();

private:
    // Activates the input port on the pair and stops the timer, so the test ticks by hand.
    void activateAndTickByHand();
    void ticks(int count) {
        for (int i = 0; i < count; ++i)
            m_form->PollTick();
    }
    QString buffer() const { return m_form->Text1().text().toString(); }
    qint16 count() const { return m_form->module1().tickCount; }

    std::unique_ptr<PtyPair> m_pair;
    TestDesktop m_desktop; // the position changes load the map: keep it off the network
    std::unique_ptr<Form1> m_form;
    std::optional<TraceCapture> m_trace;
};

void tst_PollCycle::initTestCase() {
    m_trace.emplace();
}

void tst_PollCycle::cleanupTestCase() {
    m_trace.reset();
}

void tst_PollCycle::init() {
    m_pair = std::make_unique<PtyPair>();
    QVERIFY2(m_pair->start(), qPrintable(m_pair->error()));
    qputenv("PELORA_COM1", m_pair->second().toLocal8Bit());
    m_form = std::make_unique<Form1>(m_desktop.services());
    m_trace->clear();
}

void tst_PollCycle::cleanup() {
    m_form.reset();
    m_pair.reset();
    qunsetenv("PELORA_COM1");
}

void tst_PollCycle::activateAndTickByHand() {
    m_form->ui().Command1->click();
    QVERIFY(m_form->CommX1().IsOpen());
    m_form->Timer1().stop();
}

void tst_PollCycle::cycleOfTwentyCountedTicks() {
    activateAndTickByHand();
    m_form->ReceiveChunk(u"546.0,M,,*00\r\n"_s + kGga + kRmc);
    ticks(10);
    QCOMPARE(count(), 10);
    QVERIFY(m_form->sentenceTypes().isEmpty());
    QCOMPARE(m_form->Label20()->text(), u"12:35:19"_s);

    // The 11th tick starts at 10: the list is rebuilt from this buffer (which begins in the
    // middle of a sentence, hence the empty first line).
    m_trace->clear();
    m_form->PollTick();
    QCOMPARE(m_form->sentenceTypes(), u"\n$GPGGA\n$GPRMC\n"_s);
    QCOMPARE(m_trace->lines(u"types"), QStringList{uR"(["types","\n$GPGGA\n$GPRMC\n"])"_s});
    QCOMPARE(m_trace->lines().last(), uR"(["tick",11])"_s);

    // Text arriving later is not listed until the next cycle.
    m_form->ReceiveChunk(u"$GPGSA,A,1,,,,,,,,,,,,,,,*1E\r\n"_s);
    ticks(8);
    QCOMPARE(count(), 19);
    QVERIFY(!buffer().isEmpty());
    QCOMPARE(m_form->sentenceTypes(), u"\n$GPGGA\n$GPRMC\n"_s);

    // The 20th counted tick empties the buffer and starts again at 0; the display stays.
    m_trace->clear();
    m_form->PollTick();
    QCOMPARE(count(), 0);
    QVERIFY(buffer().isEmpty());
    QCOMPARE(m_trace->lines().mid(m_trace->lines().size() - 2),
             (QStringList{uR"(["buffer","cleared"])"_s, uR"(["tick",0])"_s}));
    QCOMPARE(m_form->Label20()->text(), u"12:35:19"_s);

    // The 21st finds only half a sentence: GGA keeps its fields, RMC empties its own.
    m_form->ReceiveChunk(u"$GPRMC,130000,A,48"_s);
    m_form->PollTick();
    QCOMPARE(m_form->Label20()->text(), u"12:35:19"_s);
    QVERIFY(m_form->Label25()->text().isEmpty());
    QCOMPARE(count(), 1);
}

void tst_PollCycle::counterStandsStillWhileClosed() {
    // Never opened: ticks decode but do not count.
    m_form->ReceiveChunk(kGga);
    ticks(25);
    QCOMPARE(count(), 0);
    QCOMPARE(buffer(), kGga);
    QCOMPARE(m_form->Label20()->text(), u"12:35:19"_s);

    // Closed with the counter at 10: the list is emptied and rebuilt on every tick, the buffer
    // never emptied.
    activateAndTickByHand();
    ticks(10);
    m_form->CommX1().Close();
    m_form->PollTick();
    for (int i = 0; i < 3; ++i) {
        m_trace->clear();
        m_form->PollTick();
        QCOMPARE(m_trace->lines(u"types"),
                 (QStringList{uR"(["types",""])"_s, uR"(["types","$GPGGA\n"])"_s}));
        QCOMPARE(m_form->sentenceTypes(), u"$GPGGA\n"_s);
    }
    ticks(20);
    QCOMPARE(count(), 10);
    QCOMPARE(buffer(), kGga);
}

void tst_PollCycle::counterSurvivesDeactivation() {
    activateAndTickByHand();
    ticks(7);
    m_form->ui().Command2->click();
    QCOMPARE(count(), 7);
    activateAndTickByHand();
    m_form->ReceiveChunk(kGga);
    ticks(12);
    QCOMPARE(buffer(), kGga);
    m_form->PollTick();
    QVERIFY(buffer().isEmpty());
    QCOMPARE(count(), 0);
}

void tst_PollCycle::timerDrivesTheTicks() {
    Ui::Form1 &ui = m_form->ui();
    ui.Option1_0->click();
    QSignalSpy ticks(&m_form->Timer1(), &QTimer::timeout);
    ui.Command1->click();
    QVERIFY(m_form->Timer1().isActive());
    QTRY_VERIFY(count() >= 2);
    QVERIFY(m_trace->lines().contains(uR"(["tick",2])"_s));
    ui.Command2->click();
    const int seen = ticks.count();
    QTest::qWait(500);
    QCOMPARE(ticks.count(), seen);
}

void tst_PollCycle::intervalChoice_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("interval");
    QTest::newRow("200") << 0 << 200;
    QTest::newRow("500, already selected") << 1 << 500;
    QTest::newRow("800") << 2 << 800;
    QTest::newRow("1000") << 3 << 1000;
    QTest::newRow("5000") << 4 << 5000;
}

void tst_PollCycle::intervalChoice() {
    QFETCH(int, index);
    QFETCH(int, interval);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->ui().Command1->click();
    auto *button = m_form->findChild<QAbstractButton *>(u"Option1_%1"_s.arg(index));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(button->isChecked());
    QCOMPARE(m_form->module1().pollInterval, interval);
    QCOMPARE(m_form->Timer1().interval(), interval);
    QVERIFY(m_form->Timer1().isActive());
}

void tst_PollCycle::intervalChosenWhileStopped() {
    QCOMPARE(m_form->module1().pollInterval, 0); // nothing chosen yet; the timer holds 500
    QCOMPARE(m_form->Timer1().interval(), 500);
    m_form->ui().Option1_4->click();
    QVERIFY(!m_form->Timer1().isActive());
    m_form->ui().Command1->click();
    QCOMPARE(m_form->Timer1().interval(), 5000);
}

void tst_PollCycle::copyBufferToClipboard() {
    QClipboard *clipboard = QGuiApplication::clipboard();
    m_form->ui().Command4->click();
    QCOMPARE(clipboard->text(), QString());

    // Exactly the buffer: carriage returns and a character above 127 included.
    const QString text = kGga + u"$GPTXT,01,01,02,\u00B0C*00\r\n"_s;
    m_form->ReceiveChunk(text);
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

QTEST_MAIN(tst_PollCycle)
#include "tst_pollcycle.moc"
