#include "logic/sentence.h"

#include "testseed.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
const QString kGgaSentence = u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"_s;
}

class tst_Sentence : public QObject {
    Q_OBJECT
private slots:
    void extract_data();
    void extract();
    void checksum_data();
    void checksum();
    void accept_data();
    void accept();
    void fieldsKeepEmptiesAndChecksum();
    void positionsBeyondSixteenBits();
    void extractorFollowsAGrowingBuffer();
};

void tst_Sentence::extract_data() {
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("sentence");

    QTest::newRow("CR LF drops only the CR")
        << kGgaSentence + u"\r\n"_s << u"$GPGGA"_s << true << kGgaSentence;
    QTest::newRow("bare LF keeps the last checksum digit")
        << kGgaSentence + u"\n"_s << u"$GPGGA"_s << true << kGgaSentence;
    QTest::newRow("CR CR LF keeps one CR")
        << kGgaSentence + u"\r\r\n"_s << u"$GPGGA"_s << true << kGgaSentence + u"\r"_s;
    QTest::newRow("no line feed yet") << u"$GPGGA,1235"_s << u"$GPGGA"_s << false << QString();
    QTest::newRow("line feed comes later")
        << u"junk$GPGGA,1,2\r\n"_s << u"$GPGGA"_s << true << u"$GPGGA,1,2"_s;
    QTest::newRow("first of two wins") << u"$GPGGA,first*00\r\n$GPGGA,second*00\r\n"_s
                                       << u"$GPGGA"_s << true << u"$GPGGA,first*00"_s;
    QTest::newRow("case matters") << u"$gpgga,1*00\r\n"_s << u"$GPGGA"_s << false << QString();
    QTest::newRow("other talker not found")
        << u"$GNGGA,1*00\r\n$GNRMC,2*00\r\n"_s << u"$GPGGA"_s << false << QString();
    QTest::newRow("empty buffer") << QString() << u"$GPRMC"_s << false << QString();
    QTest::newRow("tag right before LF") << u"$GPGGA\n"_s << u"$GPGGA"_s << true << u"$GPGGA"_s;
    QTest::newRow("tag then CR LF") << u"$GPGGA\r\n"_s << u"$GPGGA"_s << true << u"$GPGGA"_s;
    QTest::newRow("line feed before the tag does not count")
        << u"\n\n$GPRMC,1"_s << u"$GPRMC"_s << false << QString();
}

void tst_Sentence::extract() {
    QFETCH(QString, buffer);
    QFETCH(QString, tag);
    QFETCH(bool, found);
    QFETCH(QString, sentence);
    const auto result = ExtractSentence(buffer, tag);
    QCOMPARE(result.has_value(), found);
    if (found)
        QCOMPARE(result->toString(), sentence);
}

void tst_Sentence::checksum_data() {
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<QString>("computed");

    QTest::newRow("GGA 47") << kGgaSentence << u"47"_s;
    QTest::newRow("leading zero 0A")
        << u"$GPGSA,A,3,04,05,,09,12,,,24,,,,,10.5,1.3,2.1*0A"_s << u"0A"_s;
    QTest::newRow("no fix GSA 1E") << u"$GPGSA,A,1,,,,,,,,,,,,,,,*1E"_s << u"1E"_s;
    QTest::newRow("upper-case letters 6A")
        << u"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6a"_s << u"6A"_s;
    QTest::newRow("empty body") << u"$*00"_s << u"00"_s;
    QTest::newRow("only up to the first star") << u"$A*B*C"_s << u"41"_s;
    QTest::newRow("8-bit codes") << u"$\u00FF*"_s << u"FF"_s;
}

void tst_Sentence::checksum() {
    QFETCH(QString, sentence);
    QFETCH(QString, computed);
    QCOMPARE(ComputeChecksum(sentence), computed);
}

void tst_Sentence::accept_data() {
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("minimumFields");
    QTest::addColumn<bool>("checksumTest");
    QTest::addColumn<int>("fields"); // -1: rejected

    const QString crlf = u"\r\n"_s;
    QTest::newRow("valid, test on") << kGgaSentence + crlf << u"$GPGGA"_s << 10 << true << 15;
    QTest::newRow("valid, test off") << kGgaSentence + crlf << u"$GPGGA"_s << 10 << false << 15;
    QString wrong = kGgaSentence;
    wrong.replace(u"*47"_s, u"*48"_s);
    QTest::newRow("wrong sum, test on") << wrong + crlf << u"$GPGGA"_s << 10 << true << -1;
    QTest::newRow("wrong sum, test off") << wrong + crlf << u"$GPGGA"_s << 10 << false << 15;
    QTest::newRow("bare LF, test on") << kGgaSentence + u"\n"_s << u"$GPGGA"_s << 10 << true << 15;
    const QString rmcLower =
        u"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6a"_s;
    QTest::newRow("lower-case sum, test on") << rmcLower + crlf << u"$GPRMC"_s << 10 << true << -1;
    QTest::newRow("lower-case sum, test off")
        << rmcLower + crlf << u"$GPRMC"_s << 10 << false << 12;
    QString noStar = kGgaSentence;
    noStar.chop(3);
    QTest::newRow("no star, test off") << noStar + crlf << u"$GPGGA"_s << 10 << false << -1;
    QTest::newRow("no star, test on") << noStar + crlf << u"$GPGGA"_s << 10 << true << -1;
    QTest::newRow("cut-off sum 4 vs 47")
        << kGgaSentence.chopped(1) + crlf << u"$GPGGA"_s << 10 << true << -1;
    const QString eight = u"$GPGGA,123519,4807.038,N,01131.000,E,1,08*77"_s;
    QTest::newRow("too few fields, test off") << eight + crlf << u"$GPGGA"_s << 10 << false << -1;
    QTest::newRow("too few fields, test on") << eight + crlf << u"$GPGGA"_s << 10 << true << -1;
    QTest::newRow("exactly minimum")
        << u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4*7E"_s + crlf << u"$GPGGA"_s << 10
        << true << 10;
    QTest::newRow("no fix GSA has 18 fields")
        << u"$GPGSA,A,1,,,,,,,,,,,,,,,*1E"_s + crlf << u"$GPGSA"_s << 16 << true << 18;
    QTest::newRow("first sentence rejected, second never tried")
        << wrong + crlf + kGgaSentence + crlf << u"$GPGGA"_s << 10 << true << -1;
}

void tst_Sentence::accept() {
    QFETCH(QString, buffer);
    QFETCH(QString, tag);
    QFETCH(int, minimumFields);
    QFETCH(bool, checksumTest);
    QFETCH(int, fields);
    const auto result = sentenceFields(buffer, tag, minimumFields, checksumTest);
    QCOMPARE(result ? int(result->size()) : -1, fields);
}

void tst_Sentence::fieldsKeepEmptiesAndChecksum() {
    const QStringList fields = splitFields(kGgaSentence);
    QCOMPARE(fields.size(), 15);
    QCOMPARE(fields.first(), u"$GPGGA"_s);
    QCOMPARE(fields.at(13), QString());
    QCOMPARE(fields.at(14), u"*47"_s);

    const QStringList gsa = splitFields(u"$GPGSA,A,1,,,,,,,,,,,,,,,*1E");
    QCOMPARE(gsa.size(), 18);
    for (int i = 3; i <= 16; ++i)
        QVERIFY(gsa.at(i).isEmpty());
    QCOMPARE(gsa.at(17), u"*1E"_s);
}

void tst_Sentence::positionsBeyondSixteenBits() {
    // A buffer of a slow poll interval easily holds more than 32767 characters before the
    // first GGA; the sentence must still be found.
    const QString buffer = QString(70000, u'x') + kGgaSentence + u"\r\n"_s;
    const auto fields = sentenceFields(buffer, u"$GPGGA", 10, true);
    QVERIFY(fields);
    QCOMPARE(fields->at(1), u"123519"_s);
}

void tst_Sentence::extractorFollowsAGrowingBuffer() {
    // Pieces that, cut anywhere, split tags, carriage returns and line feeds, with other talkers,
    // lower case and junk between: the remembering search must answer as the plain one does,
    // however often it is asked while the buffer grows, and again after the buffer is emptied.
    const QStringList pieces{u"$GPGGA,1*00\r\n"_s,
                             u"$GPG"_s,
                             u"GA,2*00"_s,
                             u"$GNGGA,3*00\r\n"_s,
                             u"\r"_s,
                             u"\n"_s,
                             u"$"_s,
                             u"GPRMC,4*00"_s,
                             u"x$GPGSA,5*00\r\n"_s,
                             u"$gpgga,6\r\n"_s,
                             u"$$GPGSA$GPRMC"_s,
                             QString(40, u'z')};
    const QList<QStringView> tags{u"$GPGGA", u"$GPRMC", u"$GPGSA"};
    QRandomGenerator random(testSeed());
    for (int round = 0; round < 300; ++round) {
        std::vector<SentenceExtractor> extractors(tags.begin(), tags.end());
        QString buffer;
        for (int step = 0; step < 40; ++step) {
            if (random.bounded(15) == 0) {
                buffer.clear();
                for (SentenceExtractor &extractor : extractors)
                    extractor.reset();
            }
            const QString piece = pieces.at(random.bounded(pieces.size()));
            const qsizetype cut = random.bounded(piece.size() + 1);
            buffer += piece.left(cut);
            buffer += piece.mid(cut, random.bounded(2) ? piece.size() : 0);
            if (random.bounded(3) == 0)
                continue; // not asked on every growth
            for (SentenceExtractor &extractor : extractors) {
                const auto expected = ExtractSentence(buffer, extractor.tag());
                const auto actual = extractor.extract(buffer);
                QCOMPARE(actual.has_value(), expected.has_value());
                if (expected)
                    QCOMPARE(actual->toString(), expected->toString());
            }
        }
    }
}

QTEST_GUILESS_MAIN(tst_Sentence)
#include "tst_sentence.moc"
