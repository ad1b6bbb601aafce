// The local time: a change of the UTC date or time field reads both, the time zone and the
// summer-time box at that moment and writes the local field.
#include "logic/displaymodel.h"
#include "logic/localtime.h"
#include "logic/module1.h"
#include "logic/receivelog.h"
#include "logic/sentence.h"
#include "tracecapture.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_UpdateLocalTime : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void followsBothUtcFields_data();
    void followsBothUtcFields();
    void noFixKeepsTheLastText();
    void resetLeavesItAloneThenEmptiesIt();
    void receiverLog();

private:
    // What the window's controls would hold: "Zeitzone" and "Sommerzeit", "+1" at start.
    QString m_zone;
    bool m_summerTime = false;
    bool m_checksumTest = false;
    std::unique_ptr<DisplayModel> m_model;
    std::unique_ptr<ReceiveLog> m_log;
    std::unique_ptr<Module1> m_module1;
    QString local() const { return m_model->localDateTime.text(); }
    // A new cycle whose buffer holds one sentence ("$" up to "*"), decoded as the poll tick does;
    // its checksum is right unless told otherwise.
    void decode(const QString &sentence, bool rightChecksum = true) {
        const QString sum = rightChecksum ? ComputeChecksum(sentence) : u"XX"_s;
        m_log->clear();
        m_log->append(sentence + sum + u"\r\n"_s);
        m_module1->DecodeRMC();
        m_module1->DecodeGGA();
    }
};

void tst_UpdateLocalTime::init() {
    m_zone = u"+1"_s;
    m_summerTime = false;
    m_checksumTest = false;
    m_model = std::make_unique<DisplayModel>();
    m_log = std::make_unique<ReceiveLog>();
    m_module1 = std::make_unique<Module1>(*m_model, *m_log, [this] { return m_checksumTest; });
    connectLocalTime(
        *m_model, *m_module1, [this] { return m_zone; }, [this] { return m_summerTime; },
        m_model.get());
}

void tst_UpdateLocalTime::cleanup() {
    m_module1.reset();
    m_log.reset();
    m_model.reset();
}

void tst_UpdateLocalTime::followsBothUtcFields_data() {
    // Each step writes the date ("19="), the time ("20="), the zone ("zone=") or summer time
    // ("summer=1"), turns the checksum test on ("check=1"), or decodes the first RMC
    // ("rmc=hhmmss,ddmmyy") or GGA ("gga=hhmmss", "gga!=" with a wrong checksum) sentence of a new
    // cycle; the local field after each step.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("no date yet: the time alone, then the date joins it")
        << QStringList{u"20=23:30:00"_s, u"19=31.12.26"_s}
        << QStringList{u"00:30:00"_s, u"01.01.2027 00:30:00"_s};
    QTest::newRow("zone and summer time wait for the next change")
        << QStringList{u"19=31.12.26"_s, u"20=23:30:00"_s, u"zone=-5"_s,    u"summer=1"_s,
                       u"20=23:30:01"_s, u"zone=+1"_s,     u"20=23:30:02"_s}
        << QStringList{QString(),
                       u"01.01.2027 00:30:00"_s,
                       u"01.01.2027 00:30:00"_s,
                       u"01.01.2027 00:30:00"_s,
                       u"31.12.2026 19:30:01"_s,
                       u"31.12.2026 19:30:01"_s,
                       u"01.01.2027 01:30:02"_s};
    QTest::newRow("the date changes while the time stays")
        << QStringList{u"19=01.01.27"_s, u"20=14:18:10"_s, u"19=07.12.26"_s, u"zone=0"_s,
                       u"19=08.12.26"_s}
        << QStringList{QString(), u"01.01.2027 15:18:10"_s, u"07.12.2026 15:18:10"_s,
                       u"07.12.2026 15:18:10"_s, u"08.12.2026 14:18:10"_s};
    // In the tick after midnight the new date meets the last time for a moment, before the new
    // time of the same tick is written: the date is that time's day.
    QTest::newRow("midnight shows the date alone")
        << QStringList{u"zone=0"_s,     u"rmc=235959,061226"_s,
                       u"gga=235959"_s, u"rmc=000000,071226"_s,
                       u"gga=000000"_s, u"gga=000001"_s}
        << QStringList{QString(),
                       QString(),
                       u"06.12.2026 23:59:59"_s,
                       u"06.12.2026 23:59:59"_s,
                       u"07.12.2026"_s,
                       u"07.12.2026 00:00:01"_s};
    // A cycle's first RMC is complete a tick before its first GGA: the new date must not be
    // paired with the last time of the day before ("08.12.2026 00:59:52").
    QTest::newRow("RMC one tick before GGA")
        << QStringList{u"rmc=235952,061226"_s, u"gga=235952"_s, u"rmc=000002,071226"_s,
                       u"gga=000002"_s}
        << QStringList{QString(), u"07.12.2026 00:59:52"_s, u"07.12.2026 00:59:52"_s,
                       u"07.12.2026 01:00:02"_s};
    // And the other way round: the first time of the new day with the last date of the old.
    QTest::newRow("GGA one tick before RMC")
        << QStringList{u"rmc=235958.00,311226"_s, u"gga=235958.00"_s, u"gga=000003.00"_s,
                       u"rmc=000003.00,010127"_s}
        << QStringList{QString(), u"01.01.2027 00:59:58"_s, u"01.01.2027 01:00:03"_s,
                       u"01.01.2027 01:00:03"_s};
    // Sentences hours apart are paired as they stand.
    QTest::newRow("times far apart") << QStringList{u"rmc=123519,230394"_s, u"gga=001043"_s}
                                     << QStringList{QString(), u"23.03.2094 01:10:43"_s};
    // The device is back after 70 minutes away; this tick holds only its RMC. 00:30 is no time
    // near 23:20, so the new date says nothing of the time shown, which is still 06.12 23:20 UTC:
    // paired, they would give "08.12.2026 00:20:00", a day ahead.
    QTest::newRow("device back after an hour, RMC first")
        << QStringList{u"rmc=232000,061226"_s, u"gga=232000"_s, u"rmc=003000,071226"_s}
        << QStringList{QString(), u"07.12.2026 00:20:00"_s, u"07.12.2026 00:20:00"_s};
    // Its GGA of the next tick is the time of the new date: 07.12 00:30 UTC.
    QTest::newRow("device back after an hour, then its GGA")
        << QStringList{u"rmc=232000,061226"_s, u"gga=232000"_s, u"rmc=003000,071226"_s,
                       u"gga=003000"_s}
        << QStringList{QString(), u"07.12.2026 00:20:00"_s, u"07.12.2026 00:20:00"_s,
                       u"07.12.2026 01:30:00"_s};
    // Label20 keeps 22:59:00 of 06.12 while the GGAs fail their checksum; the RMC at midnight is
    // 61 minutes later, not the same second across midnight, so its date cannot be that time's
    // ("07.12.2026 23:59:00" would be a day ahead).
    QTest::newRow("GGA rejected as the date changes")
        << QStringList{u"rmc=225900,061226"_s, u"gga=225900"_s, u"check=1"_s, u"gga!=235959"_s,
                       u"rmc=000000,071226"_s}
        << QStringList{QString(), u"06.12.2026 23:59:00"_s, u"06.12.2026 23:59:00"_s,
                       u"06.12.2026 23:59:00"_s, u"06.12.2026 23:59:00"_s};
    // Exactly an hour is no longer within it, across midnight as on the same day: the date would
    // otherwise be taken as it stands ("08.12.2026 00:20:00").
    QTest::newRow("an hour exactly")
        << QStringList{u"rmc=232000,061226"_s, u"gga=232000"_s, u"rmc=002000,071226"_s}
        << QStringList{QString(), u"07.12.2026 00:20:00"_s, u"07.12.2026 00:20:00"_s};
}

void tst_UpdateLocalTime::followsBothUtcFields() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, shown);
    QStringList actual;
    for (const QString &step : std::as_const(steps)) {
        const QString value = step.section(u'=', 1);
        if (step.startsWith(u"19="))
            m_model->utcDate.write(value);
        else if (step.startsWith(u"20="))
            m_model->utcTime.write(value);
        else if (step.startsWith(u"rmc="))
            decode(u"$GPRMC,%1,A,4807.038,N,01131.000,E,022.4,084.4,%2,003.1,W*"_s.arg(
                value.section(u',', 0, 0), value.section(u',', 1)));
        else if (step.startsWith(u"gga"))
            decode(u"$GPGGA,%1,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*"_s.arg(value),
                   !step.startsWith(u"gga!="));
        else if (step.startsWith(u"check="))
            m_checksumTest = value == u"1";
        else if (step.startsWith(u"zone="))
            m_zone = value;
        else
            m_summerTime = value == u"1";
        actual << local();
    }
    QCOMPARE(actual, shown);
}

void tst_UpdateLocalTime::noFixKeepsTheLastText() {
    // A receiver that loses its fix sends empty fields: the GGA decoder writes "::".
    m_log->append(u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"_s);
    m_module1->DecodeGGA();
    QCOMPARE(local(), u"13:35:19"_s);
    m_log->clear();
    m_log->append(u"$GPGGA,,,,,,0,00,,,M,,M,,*66\r\n"_s);
    QSignalSpy localChanges(&m_model->localDateTime, &DisplayField::changed);
    m_module1->DecodeGGA();
    QCOMPARE(m_model->utcTime.text(), u"::"_s);
    QCOMPARE(local(), u"13:35:19"_s);
    QCOMPARE(localChanges.count(), 0);
}

void tst_UpdateLocalTime::resetLeavesItAloneThenEmptiesIt() {
    m_model->utcDate.write(u"06.12.26"_s);
    m_model->utcTime.write(u"12:00:00"_s);
    QCOMPARE(local(), u"06.12.2026 13:00:00"_s);

    // The reset empties the date first, which recomputes nothing; then the time, whose handler
    // finds both empty. This one runs after it, inside the same write of the time field.
    QString seenByTimeChange = u"<not run>"_s;
    connect(&m_model->utcTime, &DisplayField::changed, this, [&] { seenByTimeChange = local(); });
    m_module1->ResetDisplay();
    QCOMPARE(seenByTimeChange, u"06.12.2026 13:00:00"_s);
    QCOMPARE(local(), QString());
}

void tst_UpdateLocalTime::receiverLog() {
    // First RMC and GGA of a recorded Garmin receiver: 18 October 2022, 11:32:58 UTC.
    QFile log(QStringLiteral(PELORA_TESTDATA "/garmin15x.log"));
    QVERIFY2(log.open(QIODevice::ReadOnly), qPrintable(log.fileName()));
    m_log->append(QString::fromLatin1(log.readAll()));
    m_checksumTest = (true);
    m_summerTime = (true);
    TraceCapture trace;
    m_module1->DecodeRMC(); // the date alone, without a time yet, writes nothing
    m_module1->DecodeGGA();
    QCOMPARE(trace.lines(u"field").filter(u"\"Label24\""_s),
             QStringList{u"[\"field\",\"Label24\",\"18.10.2022 13:32:58\"]"_s});
    QCOMPARE(m_model->utcDate.text(), u"18.10.22"_s);
    QCOMPARE(m_model->utcTime.text(), u"11:32:58"_s);
    QCOMPARE(local(), u"18.10.2022 13:32:58"_s); // "+1" and summer time
}

QTEST_GUILESS_MAIN(tst_UpdateLocalTime)
#include "tst_updatelocaltime.moc"
