// The three decoders: receive log in, display fields out, without any window.
#include "logic/displaymodel.h"
#include "logic/module1.h"
#include "logic/receivelog.h"
#include "tracecapture.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kGga = u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"_s;
const QString kGsa = u"$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39"_s;
const QString kRmc = u"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A"_s;
const QString kDeg = u" \u00B0  "_s;

} // namespace

class tst_Decoders : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void gga_data();
    void gga();
    void ggaRejectedKeepsFields();
    void ggaWriteOrderSeenByHandlers();
    void gsa_data();
    void gsa();
    void rmc_data();
    void rmc();
    void sameSentenceRaisesNoSecondChange();
    void checksumSwitchReadAtEachDecode();
    void otherTalkersIgnored();
    void bufferKeepsCarriageReturnsAndHighBytes();
    void traceLogsFieldChanges();

private:
    std::unique_ptr<DisplayModel> m_model;
    std::unique_ptr<ReceiveLog> m_log;
    bool m_checksumTest = false; // "Kontrollsumme pr\u00fcfen"
    std::unique_ptr<Module1> m_module1;
    void feed(const QString &text) { m_log->append(text); }
    QString f(DisplayField *field) const { return field->text(); }
};

void tst_Decoders::init() {
    m_checksumTest = false;
    m_model = std::make_unique<DisplayModel>();
    m_log = std::make_unique<ReceiveLog>();
    m_module1 = std::make_unique<Module1>(*m_model, *m_log, [this] { return m_checksumTest; });
}

void tst_Decoders::cleanup() {
    m_module1.reset();
    m_log.reset();
    m_model.reset();
}

void tst_Decoders::gga_data() {
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<bool>("checksumTest");
    QTest::addColumn<QStringList>("expected"); // time, latitude, longitude, altitude

    QTest::newRow("worked example") << kGga << true
                                    << QStringList{u"12:35:19"_s, u"48"_s + kDeg + u"07.038 ' N"_s,
                                                   u"011"_s + kDeg + u"31.000 ' E"_s, u"545.4 m"_s};
    QTest::newRow("southern, western, decimals of seconds dropped")
        << u"$GPGGA,001043.00,3351.7836,S,15112.3353,W,1,05,1.6,41.2,M,21.3,M,,*5E"_s << false
        << QStringList{u"00:10:43"_s, u"33"_s + kDeg + u"51.7836 ' S"_s,
                       u"151"_s + kDeg + u"12.3353 ' W"_s, u"41.2 m"_s};
    QTest::newRow("minutes cut to seven characters")
        << u"$GPGGA,123519,4807.03812,N,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,*44"_s << true
        << QStringList{u"12:35:19"_s, u"48"_s + kDeg + u"07.0381 ' N"_s,
                       u"011"_s + kDeg + u"31.0000 ' E"_s, u"545.4 m"_s};
    QTest::newRow("no fix yet: fixed pieces alone")
        << u"$GPGGA,,,,,,0,00,,,M,,M,,*66"_s << true
        << QStringList{u"::"_s, kDeg + u" ' "_s, kDeg + u" ' "_s, u" m"_s};
    QTest::newRow("exactly ten fields: checksum stays in the altitude")
        << u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4*7E"_s << true
        << QStringList{u"12:35:19"_s, u"48"_s + kDeg + u"07.038 ' N"_s,
                       u"011"_s + kDeg + u"31.000 ' E"_s, u"545.4*7E m"_s};
}

void tst_Decoders::gga() {
    QFETCH(QString, sentence);
    QFETCH(bool, checksumTest);
    QFETCH(QStringList, expected);
    m_checksumTest = checksumTest;
    feed(sentence + u"\r\n"_s);
    m_module1->DecodeGGA();
    QCOMPARE(f(&m_model->utcTime), expected[0]);
    QCOMPARE(f(&m_model->latitude), expected[1]);
    QCOMPARE(f(&m_model->longitude), expected[2]);
    QCOMPARE(f(&m_model->altitude), expected[3]);
    QVERIFY(m_model->latitude.text().contains(QChar(0x00B0)));
}

void tst_Decoders::ggaRejectedKeepsFields() {
    feed(kGga + u"\r\n"_s);
    m_module1->DecodeGGA();
    m_log->clear();
    m_checksumTest = true;
    for (const QString &bad : {u"$GPGGA,999999,1111.111,S,22222.222,W,1,08,0.9,1.0,M,4*00"_s,
                               u"$GPGGA,999999,1111.111,S,22222.222,W,1,08,0.9"_s,
                               u"$GPGGA,999999,1111.111,S,22222.222,W,1,08*77"_s}) {
        m_log->clear();
        feed(bad + u"\r\n"_s);
        m_module1->DecodeGGA();
        QCOMPARE(f(&m_model->utcTime), u"12:35:19"_s);
        QCOMPARE(f(&m_model->altitude), u"545.4 m"_s);
    }
}

void tst_Decoders::ggaWriteOrderSeenByHandlers() {
    // Each change handler runs inside its write, so it sees exactly the fields written before it.
    QStringList seen;
    auto snapshot = [&](const char *who) {
        seen << QString::fromLatin1(who) + u'|' + f(&m_model->altitude) + u'|' +
                    f(&m_model->latitude) + u'|' + f(&m_model->longitude) + u'|' +
                    f(&m_model->utcTime);
    };
    connect(&m_model->latitude, &DisplayField::changed, this, [&] { snapshot("lat"); });
    connect(&m_model->longitude, &DisplayField::changed, this, [&] { snapshot("lon"); });
    connect(&m_model->utcTime, &DisplayField::changed, this, [&] { snapshot("time"); });
    feed(kGga + u"\r\n"_s);
    m_module1->DecodeGGA();
    const QString lat = u"48"_s + kDeg + u"07.038 ' N"_s;
    const QString lon = u"011"_s + kDeg + u"31.000 ' E"_s;
    QCOMPARE(seen, (QStringList{u"lat|545.4 m|"_s + lat + u"||"_s,
                                u"lon|545.4 m|"_s + lat + u'|' + lon + u'|',
                                u"time|545.4 m|"_s + lat + u'|' + lon + u"|12:35:19"_s}));
}

void tst_Decoders::gsa_data() {
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<QStringList>("prn");
    QTest::addColumn<QString>("pdop");

    QTest::newRow("gaps kept") << kGsa + u"\r\n"_s
                               << QStringList{u"04"_s, u"05"_s, {}, u"09"_s, u"12"_s, {},
                                              {},      u"24"_s, {}, {},      {},      {}}
                               << u"2.5"_s;
    QTest::newRow("three digits") << u"$GPGSA,M,3,04,05,09,12,24,120,,,,,,,1.8,1.0,1.5*0C\r\n"_s
                                  << QStringList{u"04"_s, u"05"_s,  u"09"_s, u"12"_s,
                                                 u"24"_s, u"120"_s, {},      {},
                                                 {},      {},       {},      {}}
                                  << u"1.8"_s;
    QTest::newRow("no fix") << u"$GPGSA,A,1,,,,,,,,,,,,,,,*1E\r\n"_s << QStringList(12, QString())
                            << QString();
    QTest::newRow("too few fields empties all")
        << u"$GPGSA,A,3,04,05,09,12,24*11\r\n"_s << QStringList(12, QString()) << QString();
    QTest::newRow("incomplete empties all")
        << u"$GPGSA,A,3,04,05,,09"_s << QStringList(12, QString()) << QString();
    QTest::newRow("none empties all")
        << u"$GPGGA,1,2,3\r\n"_s << QStringList(12, QString()) << QString();
}

void tst_Decoders::gsa() {
    QFETCH(QString, buffer);
    QFETCH(QStringList, prn);
    QFETCH(QString, pdop);
    m_checksumTest = true;
    // Start from a full display, so that emptying shows.
    feed(u"$GPGSA,A,3,01,02,03,04,05,06,07,08,09,10,11,12,9.9,9.9,9.9*31\r\n"_s);
    m_module1->DecodeGSA();
    QCOMPARE(f(&m_model->satellites[11]), u"12"_s);
    m_log->clear();

    feed(buffer);
    m_module1->DecodeGSA();
    for (int k = 0; k < 12; ++k)
        QCOMPARE(f(&m_model->satellites[k]), prn[k]);
    QCOMPARE(f(&m_model->pdop), pdop);
}

void tst_Decoders::rmc_data() {
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<QStringList>("expected"); // course, speed, date

    QTest::newRow("worked example")
        << kRmc + u"\r\n"_s << QStringList{u"084.4"_s, u"022.4"_s, u"23.03.94"_s};
    QTest::newRow("empty course")
        << u"$GPRMC,001043.00,A,3351.7836,S,15112.3353,W,0.5,,311299,,,A*73\r\n"_s
        << QStringList{QString(), u"0.5"_s, u"31.12.99"_s};
    QTest::newRow("receiver without data")
        << u"$GPRMC,,V,,,,,,,,,,N*53\r\n"_s << QStringList{QString(), QString(), u".."_s};
    QTest::newRow("exactly ten fields")
        << u"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394*11\r\n"_s
        << QStringList{u"084.4"_s, u"022.4"_s, u"23.03.94"_s};
    QTest::newRow("nine fields: date kept")
        << u"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4*32\r\n"_s
        << QStringList{QString(), QString(), u"01.01.01"_s};
    QTest::newRow("none: date kept")
        << QString() << QStringList{QString(), QString(), u"01.01.01"_s};
}

void tst_Decoders::rmc() {
    QFETCH(QString, buffer);
    QFETCH(QStringList, expected);
    m_checksumTest = true;
    feed(u"$GPRMC,000000,A,0000.000,N,00000.000,E,9.9,9.9,010101,,*1C\r\n"_s);
    m_module1->DecodeRMC();
    QCOMPARE(f(&m_model->utcDate), u"01.01.01"_s);
    m_log->clear();

    feed(buffer);
    m_module1->DecodeRMC();
    QCOMPARE(f(&m_model->course), expected[0]);
    QCOMPARE(f(&m_model->speed), expected[1]);
    QCOMPARE(f(&m_model->utcDate), expected[2]);
}

void tst_Decoders::sameSentenceRaisesNoSecondChange() {
    QSignalSpy time(&m_model->utcTime, &DisplayField::changed);
    QSignalSpy latitude(&m_model->latitude, &DisplayField::changed);
    QSignalSpy longitude(&m_model->longitude, &DisplayField::changed);
    feed(kGga + u"\r\n"_s + kGga + u"\r\n"_s);
    for (int tick = 0; tick < 3; ++tick)
        m_module1->DecodeGGA();
    QCOMPARE(time.count(), 1);
    QCOMPARE(latitude.count(), 1);
    QCOMPARE(longitude.count(), 1);

    // Emptying a field is a change like any other.
    m_module1->ResetDisplay();
    QCOMPARE(time.count(), 2);
    QCOMPARE(latitude.count(), 2);
    QVERIFY(f(&m_model->utcTime).isEmpty());
}

void tst_Decoders::checksumSwitchReadAtEachDecode() {
    QString wrong = kGga;
    wrong.replace(u"*47"_s, u"*48"_s);
    feed(wrong + u"\r\n"_s);

    m_checksumTest = true;
    m_module1->DecodeGGA();
    QVERIFY(f(&m_model->utcTime).isEmpty());

    m_checksumTest = false;
    m_module1->DecodeGGA();
    QCOMPARE(f(&m_model->utcTime), u"12:35:19"_s);
}

void tst_Decoders::otherTalkersIgnored() {
    feed(u"$GNGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*59\r\n"
         u"$GNRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*74\r\n"
         u"$GNGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*27\r\n"_s);
    m_module1->DecodeGSA();
    m_module1->DecodeRMC();
    m_module1->DecodeGGA();
    for (DisplayField *field : {&m_model->utcDate, &m_model->utcTime, &m_model->latitude,
                                &m_model->course, &m_model->pdop, &m_model->satellites[0]})
        QVERIFY2(f(field).isEmpty(), qPrintable(field->fieldName()));
}

void tst_Decoders::bufferKeepsCarriageReturnsAndHighBytes() {
    // Bytes arrive one character each; the buffer is what the decoders read, not the text box.
    QString chunk = kGga + u"\r\n"_s;
    chunk.prepend(QChar(0));
    chunk.prepend(QChar(0xB0));
    chunk.prepend(QChar(0xFF));
    feed(chunk.left(20));
    feed(chunk.mid(20));
    QCOMPARE(m_log->text().toString(), chunk);
    m_checksumTest = true;
    m_module1->DecodeGGA();
    QCOMPARE(f(&m_model->utcTime), u"12:35:19"_s);
}

void tst_Decoders::traceLogsFieldChanges() {
    TraceCapture trace;
    feed(kGga + u"\r\n"_s);
    m_module1->DecodeGGA();
    m_module1->DecodeGGA();
    m_module1->DecodeGSA();

    const QStringList fields = trace.lines(u"field");
    QCOMPARE(fields.size(), 4); // the second decode changes nothing; GSA finds nothing
    QCOMPARE(fields[0], u"[\"field\",\"Label23\",\"545.4 m\"]"_s);
    QCOMPARE(fields[1], u"[\"field\",\"Label21\",\"48 \u00B0  07.038 ' N\"]"_s);
    QCOMPARE(fields[3], u"[\"field\",\"Label20\",\"12:35:19\"]"_s);
}

QTEST_GUILESS_MAIN(tst_Decoders)
#include "tst_decoders.moc"
