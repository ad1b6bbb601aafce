// The poll cycle: decoders on every tick, the type list in the tick that starts at 10, the log
// emptied at 20, counting only while the input port is open. No window and no port: the open
// state is what the test says it is.
#include "logic/displaymodel.h"
#include "logic/module1.h"
#include "logic/pollcycle.h"
#include "logic/receivelog.h"
#include "sentences.h"
#include "tracecapture.h"

#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using sentences::kGga;
using sentences::kRmc;

class tst_PollCycle : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void cycleOfTwentyCountedTicks();
    void counterStandsStillWhileClosed();

private:
    void activateAndTickByHand() { m_inputOpen = true; }
    void ticks(int count) {
        for (int i = 0; i < count; ++i)
            m_cycle->PollTick();
    }
    QString buffer() const { return m_log->text().toString(); }
    qint16 count() const { return m_module1->tickCount; }

    bool m_inputOpen = false;
    std::unique_ptr<DisplayModel> m_model;
    std::unique_ptr<ReceiveLog> m_log;
    std::unique_ptr<Module1> m_module1;
    std::unique_ptr<PollCycle> m_cycle;
    std::optional<TraceCapture> m_trace;
};

void tst_PollCycle::initTestCase() {
    m_trace.emplace();
}

void tst_PollCycle::cleanupTestCase() {
    m_trace.reset();
}

void tst_PollCycle::init() {
    m_inputOpen = false;
    m_model = std::make_unique<DisplayModel>();
    m_log = std::make_unique<ReceiveLog>();
    m_module1 = std::make_unique<Module1>(*m_model, *m_log, [] { return false; });
    m_cycle =
        std::make_unique<PollCycle>(*m_module1, *m_model, *m_log, [this] { return m_inputOpen; });
    m_trace->clear();
}

void tst_PollCycle::cleanup() {
    m_cycle.reset();
    m_module1.reset();
    m_log.reset();
    m_model.reset();
}

void tst_PollCycle::cycleOfTwentyCountedTicks() {
    activateAndTickByHand();
    m_log->append(u"546.0,M,,*00\r\n"_s + kGga + kRmc);
    ticks(10);
    QCOMPARE(count(), 10);
    QVERIFY(m_model->sentenceTypes().isEmpty());
    QCOMPARE(m_model->utcTime.text(), u"12:35:19"_s);

    // The 11th tick starts at 10: the list is rebuilt from this buffer (which begins in the
    // middle of a sentence, hence the empty first line).
    m_trace->clear();
    m_cycle->PollTick();
    QCOMPARE(m_model->sentenceTypes(), u"\n$GPGGA\n$GPRMC\n"_s);
    QCOMPARE(m_trace->lines(u"types"), QStringList{uR"(["types","\n$GPGGA\n$GPRMC\n"])"_s});
    QCOMPARE(m_trace->lines().last(), uR"(["tick",11])"_s);

    // Text arriving later is not listed until the next cycle.
    m_log->append(u"$GPGSA,A,1,,,,,,,,,,,,,,,*1E\r\n"_s);
    ticks(8);
    QCOMPARE(count(), 19);
    QVERIFY(!buffer().isEmpty());
    QCOMPARE(m_model->sentenceTypes(), u"\n$GPGGA\n$GPRMC\n"_s);

    // The 20th counted tick empties the buffer and starts again at 0; the display stays.
    m_trace->clear();
    m_cycle->PollTick();
    QCOMPARE(count(), 0);
    QVERIFY(buffer().isEmpty());
    QCOMPARE(m_trace->lines().mid(m_trace->lines().size() - 2),
             (QStringList{uR"(["buffer","cleared"])"_s, uR"(["tick",0])"_s}));
    QCOMPARE(m_model->utcTime.text(), u"12:35:19"_s);

    // The 21st finds only half a sentence: GGA keeps its fields, RMC empties its own.
    m_log->append(u"$GPRMC,130000,A,48"_s);
    m_cycle->PollTick();
    QCOMPARE(m_model->utcTime.text(), u"12:35:19"_s);
    QVERIFY(m_model->course.text().isEmpty());
    QCOMPARE(count(), 1);
}

void tst_PollCycle::counterStandsStillWhileClosed() {
    // Never opened: ticks decode but do not count.
    m_log->append(kGga);
    ticks(25);
    QCOMPARE(count(), 0);
    QCOMPARE(buffer(), kGga);
    QCOMPARE(m_model->utcTime.text(), u"12:35:19"_s);

    // Closed with the counter at 10: the list is emptied and rebuilt on every tick, the buffer
    // never emptied.
    activateAndTickByHand();
    ticks(10);
    m_inputOpen = false;
    m_cycle->PollTick();
    for (int i = 0; i < 3; ++i) {
        m_trace->clear();
        m_cycle->PollTick();
        QCOMPARE(m_trace->lines(u"types"),
                 (QStringList{uR"(["types",""])"_s, uR"(["types","$GPGGA\n"])"_s}));
        QCOMPARE(m_model->sentenceTypes(), u"$GPGGA\n"_s);
    }
    ticks(20);
    QCOMPARE(count(), 10);
    QCOMPARE(buffer(), kGga);
}

QTEST_GUILESS_MAIN(tst_PollCycle)
#include "tst_pollcycle.moc"
