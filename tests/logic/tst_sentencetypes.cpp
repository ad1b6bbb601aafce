// The list of sentence types seen in the buffer.
#include "logic/sentencetypes.h"

#include "testseed.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The rule read literally: one candidate per position, tested against the whole list text.
QString literalRule(const QString &buffer) {
    QString list;
    QString candidate;
    for (qsizetype i = 0; i < buffer.size(); ++i) {
        if (buffer.at(i) == u'$')
            candidate = buffer.mid(i, 6);
        const bool found = !list.isEmpty() && list.contains(candidate);
        if (!found)
            list += candidate + u'\n';
    }
    return list;
}

} // namespace

class tst_SentenceTypes : public QObject {
    Q_OBJECT
private slots:
    void list_data();
    void list();
    void sameAsTheLiteralRule();
    void trackerSameAsTheWholeText();
    void lineNoiseListsNoMoreThanTheBound();
};

void tst_SentenceTypes::list_data() {
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<QString>("expected");

    const QString gga = u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"_s;
    const QString gsa = u"$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n"_s;
    const QString gsv1 =
        u"$GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45*75\r\n"_s;
    const QString gsv2 =
        u"$GPGSV,2,2,08,15,15,167,40,17,38,222,44,19,31,098,41,22,52,144,46*70\r\n"_s;
    const QString rmc =
        u"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"_s;

    QTest::newRow("one of each, in order of first occurrence")
        << gga + gsa + gsv1 + gsv2 + rmc << u"$GPGGA\n$GPGSA\n$GPGSV\n$GPRMC\n"_s;
    QTest::newRow("repeats listed once") << gga + rmc + gga + rmc << u"$GPGGA\n$GPRMC\n"_s;
    QTest::newRow("empty buffer") << QString() << QString();
    QTest::newRow("no $ at all: one empty line") << u"hello\r\nworld\r\n"_s << u"\n"_s;
    QTest::newRow("begins mid-sentence, as after emptying")
        << u"545.4,M,46.9,M,,*47\r\n"_s + rmc << u"\n$GPRMC\n"_s;
    QTest::newRow("cut-off start not part of an entry") << gga + u"$GPR"_s << u"$GPGGA\n$GPR\n"_s;
    QTest::newRow("cut-off start inside an entry") << rmc + u"$GPR"_s << u"$GPRMC\n"_s;
    QTest::newRow("ends in $GP once $GPGGA is listed") << gga + u"$GP"_s << u"$GPGGA\n"_s;
    QTest::newRow("a lone $ at the end") << gga + u"$"_s << u"$GPGGA\n"_s;
    QTest::newRow("case told apart") << u"$gpgga,1*00\r\n"_s + gga << u"$gpgga\n$GPGGA\n"_s;
    QTest::newRow("other talkers are other types")
        << u"$GNRMC,1*00\r\n$GNGGA,1*00\r\n"_s + rmc << u"$GNRMC\n$GNGGA\n$GPRMC\n"_s;
    QTest::newRow("short address keeps raw characters")
        << u"$AB,1\r\n$GPGGA,1\r\n"_s << u"$AB,1\r\n$GPGGA\n"_s;
    // "$GP\n$G" is found across the line feed between the 2nd and 3rd entries.
    QTest::newRow("found across two entries")
        << u"$xx$GP\n$Qzzzz\r\n$GP\n$GX"_s << u"$xx$GP\n$GP\n$Q\n$Qzzzz\n$GX\n"_s;
    QTest::newRow("$ directly after $") << u"$$GPGGA,1\r\n"_s << u"$$GPGG\n$GPGGA\n"_s;
}

void tst_SentenceTypes::list() {
    QFETCH(QString, buffer);
    QFETCH(QString, expected);
    QCOMPARE(sentenceTypeList(buffer), expected);
    QCOMPARE(literalRule(buffer), expected);
    // One character at a time, every candidate waits at the end before it is complete.
    SentenceTypeTracker tracker;
    for (const QChar &c : std::as_const(buffer))
        tracker.append(QStringView(&c, 1));
    QCOMPARE(tracker.list(), expected);
}

void tst_SentenceTypes::sameAsTheLiteralRule() {
    // Few letters, many "$" and line ends: candidates overlap, repeat and span entries.
    const QString alphabet = u"$$$GPAB\r\n"_s;
    QRandomGenerator random(testSeed());
    for (int round = 0; round < 2000; ++round) {
        QString buffer;
        const int length = random.bounded(0, 80);
        for (int i = 0; i < length; ++i)
            buffer += alphabet.at(random.bounded(alphabet.size()));
        QCOMPARE(sentenceTypeList(buffer), literalRule(buffer));
    }
}

void tst_SentenceTypes::trackerSameAsTheWholeText() {
    // A character beyond Latin-1 takes the slower lookup; the rest as above.
    const QString alphabet = u"$$$GPAB\r\n\u20AC"_s;
    QRandomGenerator random(testSeed());
    SentenceTypeTracker tracker;
    for (int round = 0; round < 500; ++round) {
        QString buffer;
        const int length = random.bounded(0, 80);
        for (int i = 0; i < length; ++i)
            buffer += alphabet.at(random.bounded(alphabet.size()));
        // Asked after every chunk, as if each were the last; clear() leaves nothing behind.
        tracker.clear();
        for (qsizetype at = 0; at < buffer.size();) {
            const qsizetype size = random.bounded(1, 9);
            tracker.append(QStringView(buffer).sliced(at).left(size));
            at += size;
            QCOMPARE(tracker.list(), sentenceTypeList(QStringView(buffer).left(at)));
        }
        QCOMPARE(tracker.list(), sentenceTypeList(buffer));
    }
}

void tst_SentenceTypes::lineNoiseListsNoMoreThanTheBound() {
    // Noise at a wrong baud rate, or a hostile peer, could make every candidate new; the list
    // stops at its bound, whichever way it is built.
    QString buffer;
    QString expected;
    for (int n = 0; n < kMaxTypeEntries + 200; ++n) {
        const QString candidate = u"$%1"_s.arg(n, 5, 10, QChar(u'0'));
        buffer += candidate + u",\r\n"_s;
        if (n < kMaxTypeEntries)
            expected += candidate + u'\n';
    }
    QCOMPARE(sentenceTypeList(buffer), expected);
    SentenceTypeTracker tracker;
    for (qsizetype at = 0; at < buffer.size(); at += 3)
        tracker.append(QStringView(buffer).sliced(at).left(3));
    QCOMPARE(tracker.list(), expected);
}

QTEST_GUILESS_MAIN(tst_SentenceTypes)
#include "tst_sentencetypes.moc"
