// The receive log keeps every received character and tells a view exactly what changed.
#include "logic/receivelog.h"

#include "testseed.h"
#include "tracecapture.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_ReceiveLog : public QObject {
    Q_OBJECT
private slots:
    void keepsEveryCharacterWhateverTheChunks_data();
    void keepsEveryCharacterWhateverTheChunks();
    void firstSentenceUntilCleared();
    void sentenceTypesUntilCleared();
    void clearIsTracedAndSignalled();
    void fullUntilCleared_data();
    void fullUntilCleared();
};

void tst_ReceiveLog::keepsEveryCharacterWhateverTheChunks_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("largestChunk");
    QString bytes;
    for (int b = 0; b < 256; ++b)
        bytes += QChar(char16_t(b));
    QTest::newRow("all byte values, one at a time") << bytes << 1;
    QTest::newRow("all byte values, random chunks") << bytes + bytes + bytes << 7;
    QTest::newRow("bare CR and LF mixed") << u"a\rb\nc\r\r\nd\n\re\r"_s << 3;
}

void tst_ReceiveLog::keepsEveryCharacterWhateverTheChunks() {
    QFETCH(QString, text);
    QFETCH(int, largestChunk);
    ReceiveLog log;
    QSignalSpy appended(&log, &ReceiveLog::appended);
    QRandomGenerator random(testSeed());
    QList<qsizetype> starts;
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype size = random.bounded(1, largestChunk + 1);
        starts << at;
        log.append(text.mid(at, size));
        at += size;
        log.append(QString()); // nothing arrived: nothing to tell
    }
    QCOMPARE(log.text().toString(), text);
    QCOMPARE(log.size(), text.size());
    // Each chunk is announced once, with the position where it begins.
    QList<qsizetype> announced;
    for (const QList<QVariant> &signal : appended)
        announced << signal.at(0).value<qsizetype>();
    QCOMPARE(announced, starts);
}

void tst_ReceiveLog::firstSentenceUntilCleared() {
    ReceiveLog log;
    QCOMPARE(log.firstSentence(u"$GPGGA"), std::nullopt);
    log.append(u"$GPGGA,first*00\r"_s);
    QCOMPARE(log.firstSentence(u"$GPGGA"), std::nullopt);
    log.append(u"\n$GPGGA,second*00\r\n"_s);
    QCOMPARE(log.firstSentence(u"$GPGGA")->toString(), u"$GPGGA,first*00"_s);
    log.clear();
    log.append(u"$GPGGA,third*00\r\n"_s);
    QCOMPARE(log.firstSentence(u"$GPGGA")->toString(), u"$GPGGA,third*00"_s);
    QCOMPARE(log.firstSentence(u"$GPRMC"), std::nullopt);
}

void tst_ReceiveLog::sentenceTypesUntilCleared() {
    ReceiveLog log;
    QCOMPARE(log.sentenceTypes(), QString());
    log.append(u"\r\n$GPG"_s);
    QCOMPARE(log.sentenceTypes(), u"\n$GPG\n"_s);
    log.append(u"GA,1*00\r\n$GPRMC"_s);
    QCOMPARE(log.sentenceTypes(), u"\n$GPGGA\n$GPRMC\n"_s);
    log.clear();
    QCOMPARE(log.sentenceTypes(), QString());
    // A text that now begins with "$" has no leading empty line.
    log.append(u"$GPRMC,1"_s);
    QCOMPARE(log.sentenceTypes(), u"$GPRMC\n"_s);
}

void tst_ReceiveLog::clearIsTracedAndSignalled() {
    ReceiveLog log;
    QSignalSpy cleared(&log, &ReceiveLog::cleared);
    QSignalSpy appended(&log, &ReceiveLog::appended);
    log.append(u"$GPGGA\r"_s);
    TraceCapture trace;
    log.clear();
    QVERIFY(log.text().isEmpty());
    QCOMPARE(cleared.size(), 1);
    QCOMPARE(trace.lines(), QStringList{uR"(["buffer","cleared"])"_s});
    // The next chunk starts at the beginning again.
    log.append(u"\nx"_s);
    QCOMPARE(appended.last().at(0).value<qsizetype>(), 0);
    QCOMPARE(log.text().toString(), u"\nx"_s);
}

void tst_ReceiveLog::fullUntilCleared_data() {
    QTest::addColumn<bool>("missed"); // text was missed, rather than the limit reached
    QTest::newRow("limit reached") << false;
    QTest::newRow("text missed") << true;
}

void tst_ReceiveLog::fullUntilCleared() {
    // A flood fills the log once per cycle; what fits is kept, the decoders go on reading the
    // first sentences, and nothing is added until the next emptying.
    QFETCH(bool, missed);
    ReceiveLog log;
    QSignalSpy filled(&log, &ReceiveLog::filled);
    TraceCapture trace;
    const QString gga = u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"_s;
    log.append(gga);
    if (missed) {
        log.markFull();
    } else {
        const QString chunk(64 * 1024, u'x');
        while (log.size() + chunk.size() <= ReceiveLog::kLimit)
            log.append(chunk);
        log.append(chunk);
        QCOMPARE(log.size(), ReceiveLog::kLimit);
    }
    const qsizetype size = log.size();
    QSignalSpy appended(&log, &ReceiveLog::appended);
    log.append(u"$GPRMC,later*00\r\n"_s);
    log.markFull();
    QCOMPARE(log.size(), size);
    QVERIFY(appended.isEmpty());
    QVERIFY(log.isFull());
    QCOMPARE(filled.size(), 1);
    QCOMPARE(trace.lines(), QStringList{uR"(["buffer","full"])"_s});
    QCOMPARE(log.firstSentence(u"$GPGGA")->toString(), gga.chopped(2));
    QCOMPARE(log.sentenceTypes().count(u'$'), 1);

    log.clear();
    QVERIFY(!log.isFull());
    log.append(gga);
    QCOMPARE(log.size(), gga.size());
}

QTEST_GUILESS_MAIN(tst_ReceiveLog)
#include "tst_receivelog.moc"
