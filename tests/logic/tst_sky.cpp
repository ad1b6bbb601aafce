// The sky and the fix from received text: counted as satellites, not signals, and only from
// whole GSV groups with right checksums.
#include "logic/sky.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Each line with its checksum and CR LF; a line starting with "$" is taken as it stands.
// "[5 7]" stands for satellite blocks with only the ID: ",5,,,,7,,,".
QString nmea(const QStringList &lines) {
    QString text;
    for (QString line : lines) {
        if (line.startsWith(u'$')) {
            text += line + u"\r\n"_s;
            continue;
        }
        if (const qsizetype open = line.indexOf(u'['); open >= 0) {
            const qsizetype close = line.indexOf(u']');
            const QString ids = line.sliced(open + 1, close - open - 1);
            line.replace(open, close - open + 1,
                         u","_s + ids.split(u' ').join(u",,,,"_s) + u",,,"_s);
        }
        unsigned sum = 0;
        for (const QChar c : line)
            sum ^= c.unicode() & 0xFFu;
        text += u"$%1*%2\r\n"_s.arg(line).arg(sum, 2, 16, QLatin1Char('0'));
    }
    return text;
}

QString optional(const std::optional<double> &value, int decimals) {
    return value ? QString::number(*value, 'f', decimals) : u"-"_s;
}

QString json(const QJsonValue &value) {
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
        .chopped(1)
        .sliced(1);
}

// "GPS 5*,7 | SBAS 40": the satellites of each system, "*" for used.
QString summary(const SkyDecoder &sky) {
    QStringList systems;
    for (const GnssSystem system : kGnssSystems) {
        QStringList list;
        for (const SkySatellite &satellite : sky.satellites(system))
            list += QString::number(satellite.id) + (satellite.used ? u"*"_s : QString());
        if (!list.isEmpty())
            systems += systemName(system) + u' ' + list.join(u',');
    }
    return systems.join(u" | "_s);
}

QString render(const SkyFix &fix) {
    return QStringList{fix.talker,
                       fix.quality,
                       optional(fix.latitude, 6),
                       optional(fix.longitude, 6),
                       optional(fix.altitude, 1),
                       fix.utcTime.isEmpty() ? u"-"_s : fix.utcTime,
                       optional(fix.pdop, 1) + u'/' + optional(fix.hdop, 1) + u'/' +
                           optional(fix.vdop, 1)}
        .join(u' ');
}

} // namespace

class tst_Sky : public QObject {
    Q_OBJECT
private slots:
    void sky_data();
    void sky();
    void satellite_data();
    void satellite();
    void fix_data();
    void fix();
    void receiverLogs_data();
    void receiverLogs();
    void ageing();
    void changesReportedOnce();
};

void tst_Sky::sky_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("two signals of a satellite count once")
        << nmea({u"GPGSV,1,1,02,05,40,120,42,07,10,200,30,1"_s, u"GPGSV,1,1,01,05,40,120,38,7"_s})
        << u"GPS 5,7"_s;
    QTest::newRow("later messages leave count and total empty")
        << nmea({u"GPGSV,2,1,05[1 2 3 4]"_s, u"GPGSV,,2,[9]"_s}) << u"GPS 1,2,3,4,9"_s;
    QTest::newRow("a new message 1 cuts the group short")
        << nmea({u"GPGSV,1,1,01[5]"_s, u"GPGSV,2,1,02[7]"_s, u"GPGSV,2,1,02[8]"_s,
                 u"GPGSV,2,2,02[9]"_s})
        << u"GPS 8,9"_s;
    QTest::newRow("a skipped message loses the group")
        << nmea({u"GPGSV,1,1,01[5]"_s, u"GPGSV,3,1,03[7]"_s, u"GPGSV,3,3,03[9]"_s}) << u"GPS 5"_s;
    QTest::newRow("a repeated message loses the group")
        << nmea({u"GPGSV,1,1,01[5]"_s, u"GPGSV,3,1,03[7]"_s, u"GPGSV,3,2,03[8]"_s,
                 u"GPGSV,3,2,03[8]"_s, u"GPGSV,3,3,03[9]"_s})
        << u"GPS 5"_s;
    QTest::newRow("a wrong checksum inside the group loses it")
        << nmea({u"GPGSV,1,1,01[5]"_s, u"GPGSV,2,1,02[7]"_s, u"$GPGSV,2,2,02,09,,,*00"_s,
                 u"GPGSV,2,2,02[9]"_s})
        << u"GPS 5"_s;
    QTest::newRow("a cut-off GSV loses every signal's group of the talker")
        << nmea({u"GPGSV,2,1,02[7],1"_s, u"GPGSV,2,1,02[7],7"_s, u"$GPGSV,2,2,02,09"_s,
                 u"GPGSV,2,2,02[9],1"_s, u"GPGSV,2,2,02[9],7"_s})
        << QString();
    QTest::newRow("another talker's bad GSV leaves the group whole")
        << nmea({u"GPGSV,2,1,02[7]"_s, u"$GLGSV,1,1,01,70,,,*00"_s, u"GPGSV,2,2,02[9]"_s})
        << u"GPS 7,9"_s;
    QTest::newRow("an empty group empties only its signal")
        << nmea({u"GPGSV,1,1,01[5]"_s, u"GPGSV,1,1,01[6],7"_s, u"GPGSV,1,1,00"_s}) << u"GPS 6"_s;
    QTest::newRow("GP numbers: SBAS, QZSS, the rest GPS")
        << nmea({u"GPGSV,2,1,05[3 40 133 195]"_s, u"GPGSV,2,2,05[100]"_s})
        << u"GPS 3,100 | QZSS 195 | SBAS 40,133"_s;
    QTest::newRow("GN numbers by range, outside all of them not shown")
        << nmea({u"GNGSV,3,1,10[3 40 70 201]"_s, u"GNGSV,3,2,10[205 310 410 100]"_s,
                 u"GNGSV,3,3,10[170 340]"_s})
        << u"GPS 3 | GLONASS 70 | Galileo 310 | BeiDou 205,410 | QZSS 201 | SBAS 40"_s;
    QTest::newRow("talkers name their system, GP and GN one satellite")
        << nmea({u"GLGSV,1,1,01[5]"_s, u"GAGSV,1,1,01[5]"_s, u"GBGSV,1,1,01[5]"_s,
                 u"BDGSV,1,1,01[6]"_s, u"GQGSV,1,1,01[7]"_s, u"QZGSV,1,1,01[8]"_s,
                 u"GIGSV,1,1,01[9]"_s, u"PQGSV,1,1,01[4]"_s, u"IMGSV,1,1,01[3]"_s,
                 u"GPGSV,1,1,01[5]"_s, u"GNGSV,1,1,01[5]"_s})
        << u"GPS 5 | GLONASS 5 | Galileo 5 | BeiDou 5,6 | QZSS 7,8 | NavIC 9"_s;

    // Nine more ID fields after the three the rows fill, and the dilutions.
    const QString dops = u",,,,,,,,,,1.0,1.0,1.0"_s;
    QTest::newRow("GSA ID 1 splits GPS, SBAS and QZSS")
        << nmea({u"GNGSA,A,3,03,40,195"_s + dops + u",1"_s}) << u"GPS 3* | QZSS 195* | SBAS 40*"_s;
    QTest::newRow("GSA ID 1 without a QZSS number keeps QZSS")
        << nmea({u"GNGSA,A,3,195,,"_s + dops + u",5"_s, u"GNGSA,A,3,03,40,"_s + dops + u",1"_s,
                 u"GNGSA,A,3,05,,"_s + dops + u",1"_s})
        << u"GPS 5* | QZSS 195*"_s;
    QTest::newRow("GSA ID with no satellite clears the system")
        << nmea({u"GNGSA,A,3,70,71,"_s + dops + u",2"_s, u"GNGSA,A,3,,,"_s + dops + u",2"_s})
        << QString();
    QTest::newRow("GSA without ID replaces the systems its numbers name")
        << nmea({u"GNGSA,A,3,03,70,310"_s + dops, u"GNGSA,A,3,05,,"_s + dops})
        << u"GPS 5* | GLONASS 70* | Galileo 310*"_s;
    QTest::newRow("GSA without ID and satellites changes nothing")
        << nmea({u"GNGSA,A,3,03,,"_s + dops, u"GNGSA,A,3,,,"_s + dops, u"GLGSA,A,3,,,"_s + dops})
        << u"GPS 3*"_s;
    QTest::newRow("GSA of other talkers by talker")
        << nmea({u"GLGSA,A,3,05,,"_s + dops, u"GAGSA,A,3,05,,"_s + dops})
        << u"GLONASS 5* | Galileo 5*"_s;
    QTest::newRow("GSA with an unknown system ID changes nothing")
        << nmea({u"GNGSA,A,3,03,,"_s + dops + u",1"_s, u"GNGSA,A,3,05,,"_s + dops + u",9"_s})
        << u"GPS 3*"_s;

    const QString group = u"$GPGSV,1,1,01,5,,,*4D"_s;
    QTest::newRow("junk before the $, lower-case checksum, bare LF")
        << u"\u00ff\u0001junk$GPGSV,1,1,01,5,,,*4d\n"_s << u"GPS 5"_s;
    QTest::newRow("spliced: the last $ counts")
        << u"$GPGSA,A,3,0"_s + group + u"\r\r\n"_s << u"GPS 5"_s;
    QTest::newRow("two hex digits, no fewer")
        << u"$GPGSV,1,1,01,5,,,*4\r\n$GPGSV,1,1,01,5,,,\r\n"_s << QString();
    // Leading zeros, no more than an absent elevation: only the length keeps satellite 5 out.
    QString longGroup = u"GPGSV,1,1,01[5]"_s;
    longGroup.insert(longGroup.size() - 2, QString(1100, u'0'));
    QTest::newRow("a sentence longer than 1 KB is garbage") << nmea({longGroup}) << QString();
}

void tst_Sky::sky() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    SkyDecoder sky;
    sky.feed(text, 0);
    QCOMPARE(summary(sky), expected);
}

void tst_Sky::satellite_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // the GPS trace event's satellite 5

    QTest::newRow("empty SNR: in view, not tracked")
        << nmea({u"GPGSV,1,1,01,05,40,120,"_s})
        << uR"({"az":120,"el":40,"id":5,"snr":{"1":null},"used":false})"_s;
    QTest::newRow("SNR 0 is a value")
        << nmea({u"GPGSV,1,1,01,05,40,120,00"_s})
        << uR"({"az":120,"el":40,"id":5,"snr":{"1":0},"used":false})"_s;
    QTest::newRow("empty elevation and azimuth")
        << nmea({u"GPGSV,1,1,01,05,,,42"_s})
        << uR"({"az":null,"el":null,"id":5,"snr":{"1":42},"used":false})"_s;
    QTest::newRow("out of range or no number is absent")
        << nmea({u"GPGSV,1,1,01,05,91,-3,100"_s})
        << uR"({"az":null,"el":null,"id":5,"snr":{"1":null},"used":false})"_s;
    QTest::newRow("azimuth 360 is 0")
        << nmea({u"GPGSV,1,1,01,05,90,360,99"_s})
        << uR"({"az":0,"el":90,"id":5,"snr":{"1":99},"used":false})"_s;
    QTest::newRow("signals merge, the latest group gives the position")
        << nmea({u"GPGSV,1,1,01,05,40,120,42,1"_s, u"GPGSV,1,1,01,05,41,121,,7"_s,
                 u"GPGSA,A,3,05,,,,,,,,,,,,1.0,1.0,1.0"_s})
        << uR"({"az":121,"el":41,"id":5,"snr":{"1":42,"7":null},"used":true})"_s;
    QTest::newRow("used, in no group") << nmea({u"GPGSA,A,3,05,,,,,,,,,,,,1.0,1.0,1.0"_s})
                                       << uR"({"az":null,"el":null,"id":5,"snr":{},"used":true})"_s;
}

void tst_Sky::satellite() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    SkyDecoder sky;
    sky.feed(text, 0);
    const QJsonArray event = skyTraceEvent(GnssSystem::Gps, sky.satellites(GnssSystem::Gps));
    QCOMPARE(json(event), u"[\"sky\",\"GPS\",["_s + expected + u"]]"_s);
}

void tst_Sky::fix_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const QString gga = u"GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"_s;
    QTest::newRow("GGA RTK float, south and west")
        << nmea({u"GNGGA,235959.99,4552.65393,S,17030.00670,W,5,12,0.7,-14.8,M,1.8,M,,"_s})
        << u"GN RTK gleitend -45.877566 -170.500112 -14.8 23:59:59 -/-/-"_s;
    QTest::newRow("no fix keeps the position")
        << nmea({gga, u"GNGGA,123520.00,,,,,0,00,99.99,,,,,,"_s})
        << u"GN kein Fix 48.117300 11.516667 545.4 12:35:20 -/-/-"_s;
    QTest::newRow("RMC with mode D keeps GGA's altitude")
        << nmea({gga, u"GPRMC,123521,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W,D"_s})
        << u"GP DGPS 48.117300 11.516667 545.4 12:35:21 -/-/-"_s;
    QTest::newRow("RMC without a mode keeps GGA's DGPS")
        << nmea({u"GPGGA,123519,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,,"_s,
                 u"GPRMC,123521,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"_s})
        << u"GP DGPS 48.117300 11.516667 545.4 12:35:21 -/-/-"_s;
    QTest::newRow("RMC V, without a mode")
        << nmea({u"GPRMC,123521,V,,,,,,,230394,,"_s}) << u"GP kein Fix - - - 12:35:21 -/-/-"_s;
    QTest::newRow("GNS: the best system's mode")
        << nmea({u"GNGNS,120213.000,5957.0062,N,01100.6429,E,NDFA,11,1.3,168.9,39.5,,,V"_s})
        << u"GN RTK gleitend 59.950103 11.010715 168.9 12:02:13 -/-/-"_s;
    QTest::newRow("GNS all N") << nmea({u"GNGNS,074150.799,,,,,NNNN,00,,,0.0,,0000"_s})
                               << u"GN kein Fix - - - 07:41:50 -/-/-"_s;
    QTest::newRow("GSA dilution, empty and garbage absent")
        << nmea({u"GNGSA,A,3,,,,,,,,,,,,,2.5,,x"_s}) << u"  - - - - 2.5/-/-"_s;
    QTest::newRow("placeholder position and malformed time")
        << nmea({u"GPGGA,1235x9,8960.000000,N,01131.000,X,1,08,0.9,,M,46.9,M,,"_s})
        << u"GP GPS - - - - -/-/-"_s;
    QTest::newRow("wrong checksum, proprietary, unknown quality ignored")
        << nmea({u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*48"_s,
                 u"PGGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"_s,
                 u"GPGGA,123519,4807.038,N,01131.000,E,9,08,0.9,545.4,M,46.9,M,,"_s})
        << u"  - - - - -/-/-"_s;
}

void tst_Sky::fix() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    SkyDecoder sky;
    sky.feed(text, 0);
    QCOMPARE(render(sky.fix()), expected);
}

void tst_Sky::receiverLogs_data() {
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("expected"); // in view/used per system; the fix's talker, quality

    // Read off the last epoch by hand; every log is also fed byte by byte against itself whole.
    const QHash<QString, QString> lastEpoch{
        // GPGSV of signals 1 and 6 name the same 12 GPS satellites, 8 used by the GSA of ID 1;
        // GLGSV 10 (ID 2: 82 66 81), GAGSV 9 (ID 3: 07 12 33), GBGSV signal 1 10 (ID 4: six);
        // its GBGSV with an empty signal field is malformed and adds nothing. GNGGA quality 1.
        {u"ublox-zed-f9p-nmea.log"_s, u"GPS 12/8 GLONASS 10/3 Galileo 9/3 BeiDou 10/6 | GN GPS"_s},
        // It ends inside a GPGSV group, so the one before stands: 12 GPS (satellite 8 without
        // elevation and azimuth), ID 1 nine of them; the last whole GLGSV group has 10, ID 2 73
        // and 84; BDGSV 13 27 37, all three ID 4. The last fix sentence: GNGGA quality 1.
        {u"quectel-l76k-nmea.log"_s, u"GPS 12/9 GLONASS 10/2 BeiDou 3/3 | GN GPS"_s},
        // 11 GPS satellites in view, the GPGSA lists 8; the last GPGGA says 2.
        {u"garmin15x.log"_s, u"GPS 11/8 | GP DGPS"_s}};
    for (const QString &log : QDir(QStringLiteral(PELORA_TESTDATA)).entryList({u"*.log"_s}))
        QTest::newRow(qPrintable(log)) << log << lastEpoch.value(log);
}

void tst_Sky::receiverLogs() {
    QFETCH(QString, log);
    QFETCH(QString, expected);
    QFile file(QStringLiteral(PELORA_TESTDATA "/") + log);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QString text = QString::fromLatin1(file.readAll());
    SkyDecoder sky;
    sky.feed(text, 0);
    SkyDecoder bytes;
    for (const QChar c : text)
        bytes.feed(QStringView(&c, 1), 0);
    QStringList systems;
    for (const GnssSystem system : kGnssSystems) {
        const QList<SkySatellite> list = sky.satellites(system);
        QCOMPARE(json(skyTraceEvent(system, bytes.satellites(system))),
                 json(skyTraceEvent(system, list)));
        if (!list.isEmpty())
            systems += u"%1 %2/%3"_s.arg(systemName(system))
                           .arg(list.size())
                           .arg(std::count_if(list.begin(), list.end(),
                                              [](const auto &s) { return s.used; }));
    }
    QCOMPARE(render(bytes.fix()), render(sky.fix()));
    if (!expected.isEmpty())
        QCOMPARE(systems.join(u' ') + u" | "_s + sky.fix().talker + u' ' + sky.fix().quality,
                 expected);
}

void tst_Sky::ageing() {
    SkyDecoder sky;
    QCOMPARE(sky.nextExpiry(), std::nullopt);
    sky.feed(nmea({u"GPGSV,1,1,01[5],1"_s}), 1000);
    sky.feed(nmea({u"GPGSV,1,1,01[6],7"_s, u"GPGSA,A,3,07,,,,,,,,,,,,1.0,1.0,1.0"_s}), 4000);
    QCOMPARE(sky.nextExpiry(), 11000);
    sky.expire(10999);
    QCOMPARE(summary(sky), u"GPS 5,6,7*"_s);
    sky.expire(11000); // signal 1's group ten seconds old, the other signal stays
    QCOMPARE(summary(sky), u"GPS 6,7*"_s);
    QCOMPARE(sky.nextExpiry(), 14000);
    sky.feed(nmea({u"GPGSA,A,3,07,,,,,,,,,,,,1.0,1.0,1.0"_s}), 13000); // refreshes the used set
    sky.expire(14000);
    QCOMPARE(summary(sky), u"GPS 7*"_s);
    QCOMPARE(sky.nextExpiry(), 23000);
    sky.feed(QString(), 23000); // feeding ages as well
    QCOMPARE(summary(sky), QString());
    QCOMPARE(sky.nextExpiry(), std::nullopt);
}

void tst_Sky::changesReportedOnce() {
    SkyDecoder sky;
    const QString epoch =
        nmea({u"GPGSV,1,1,01,05,40,120,42"_s, u"GLGSV,1,1,01,70,10,20,30"_s,
              u"GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"_s});
    sky.feed(epoch, 0);
    QCOMPARE(sky.takeChangedSystems(), (QList{GnssSystem::Gps, GnssSystem::Glonass}));
    QVERIFY(sky.takeFixChanged());
    QCOMPARE(json(fixTraceEvent(sky.fix())),
             uR"(["fix",{"alt":545.4,"hdop":null,"lat":48.1173,"lon":11.516666666666667,)"
             uR"("pdop":null,"quality":"GPS","talker":"GP","utc":"12:35:19","vdop":null}])"_s);
    QCOMPARE(sky.lastSeen(u"GSV"_s), 0);
    QCOMPARE(sky.lastSeen(u"GSA"_s), std::nullopt);

    sky.feed(epoch, 500); // the same values again
    QCOMPARE(sky.takeChangedSystems(), QList<GnssSystem>());
    QVERIFY(!sky.takeFixChanged());
    QCOMPARE(sky.lastSeen(u"GGA"_s), 500);

    sky.feed(nmea({u"GLGSV,1,1,01,70,10,20,31"_s}), 600);
    QCOMPARE(sky.takeChangedSystems(), QList{GnssSystem::Glonass});

    sky.clear();
    QCOMPARE(sky.takeChangedSystems(), (QList{GnssSystem::Gps, GnssSystem::Glonass}));
    QVERIFY(sky.takeFixChanged());
    QCOMPARE(json(fixTraceEvent(sky.fix())),
             uR"(["fix",{"alt":null,"hdop":null,"lat":null,"lon":null,"pdop":null,)"
             uR"("quality":null,"talker":null,"utc":null,"vdop":null}])"_s);
    QCOMPARE(sky.lastSeen(u"GGA"_s), std::nullopt);
    sky.clear();
    QCOMPARE(sky.takeChangedSystems(), QList<GnssSystem>());
    QVERIFY(!sky.takeFixChanged());
}

QTEST_GUILESS_MAIN(tst_Sky)
#include "tst_sky.moc"
