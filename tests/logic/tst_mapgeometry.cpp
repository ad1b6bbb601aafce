// The map drawn without the map service: positions read from the field texts, the Web-Mercator
// frame against the web map's scale, graticule and scale bar, and land or sea by the shipped
// outlines.
#include "logic/mapgeometry.h"
#include "logic/worldoutlines.h"

#include <QFile>
#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {
const double kNone = qQNaN();

bool sameDegrees(std::optional<double> actual, double expected) {
    if (std::isnan(expected))
        return !actual;
    return actual && std::abs(*actual - expected) < 1e-9;
}
} // namespace

class tst_MapGeometry : public QObject {
    Q_OBJECT
private slots:
    void fieldDegrees_data();
    void fieldDegrees();
    void frameMatchesTheWebMap_data();
    void frameMatchesTheWebMap();
    void graticule_data();
    void graticule();
    void scaleBar_data();
    void scaleBar();
    void land_data();
    void land();
    void damagedOutlinesReadAsNone();
};

void tst_MapGeometry::fieldDegrees_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("latitude"); // NaN: not a latitude
    QTest::addColumn<double>("longitude");

    QTest::newRow("north") << u"48 \u00B0  07.038 ' N"_s << 48 + 7.038 / 60 << kNone;
    QTest::newRow("east") << u"011 \u00B0  31.000 ' E"_s << kNone << 11 + 31.0 / 60;
    QTest::newRow("south") << u"33 \u00B0  51.7836 ' S"_s << -(33 + 51.7836 / 60) << kNone;
    QTest::newRow("west") << u"151 \u00B0  12.3353 ' W"_s << kNone << -(151 + 12.3353 / 60);
    QTest::newRow("whole minutes") << u"48 \u00B0  07 ' N"_s << 48 + 7.0 / 60 << kNone;
    QTest::newRow("blanks as in the address") << u"48\u00B007.038'N"_s << 48 + 7.038 / 60 << kNone;
    QTest::newRow("pole") << u"90 \u00B0  00.000 ' S"_s << -90.0 << kNone;
    // A GGA sentence without a fix leaves only the fixed pieces.
    QTest::newRow("no fix") << u" \u00B0   '  "_s << kNone << kNone;
    QTest::newRow("empty") << QString() << kNone << kNone;
    QTest::newRow("other letter") << u"48 \u00B0  07.038 ' X"_s << kNone << kNone;
    QTest::newRow("minutes of an hour") << u"48 \u00B0  60.000 ' N"_s << kNone << kNone;
    QTest::newRow("beyond the pole") << u"90 \u00B0  00.001 ' N"_s << kNone << kNone;
    QTest::newRow("beyond 180") << u"180 \u00B0  00.100 ' E"_s << kNone << kNone;
    QTest::newRow("text after") << u"48 \u00B0  07.038 ' N x"_s << kNone << kNone;
}

void tst_MapGeometry::fieldDegrees() {
    QFETCH(QString, field);
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QVERIFY(sameDegrees(latitudeDegrees(field), latitude));
    QVERIFY(sameDegrees(longitudeDegrees(field), longitude));
}

// A web map at zoom z shows the world 256 * 2^z pixels wide; the drawn map must show the same
// ground in the same area.
void tst_MapGeometry::frameMatchesTheWebMap_data() {
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<int>("zoom");
    QTest::newRow("equator, 5") << 0.0 << 0.0 << 5;
    QTest::newRow("munich, 12") << 48.1173 << 11.5167 << 12;
    QTest::newRow("sydney, 15") << -33.8631 << 151.2056 << 15;
    QTest::newRow("near 180, 5") << 65.0 << 179.0 << 5;
}

void tst_MapGeometry::frameMatchesTheWebMap() {
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(int, zoom);
    const QSizeF size(793, 505);
    const MapFrame frame({.latitude = latitude, .longitude = longitude}, zoom, size);
    const MapFrame closer({.latitude = latitude, .longitude = longitude}, zoom + 1, size);

    QCOMPARE(frame.toPixel({.latitude = latitude, .longitude = longitude}), QPointF(396.5, 252.5));
    const double spanned = frame.toGeo({793, 0}).longitude - frame.toGeo({0, 0}).longitude;
    QCOMPARE(spanned, 793 * 360 / (256 * std::pow(2.0, zoom)));
    QCOMPARE(frame.metresPerPixel() / closer.metresPerPixel(), 2.0);
    // 40075 km round the equator, shrinking with the cosine of the latitude.
    const double expected = 40075016.686 * std::cos(qDegreesToRadians(latitude)) / (256 << zoom);
    QVERIFY(std::abs(frame.metresPerPixel() / expected - 1) < 1e-9);
    // A point 360° further east is drawn one world further right.
    const GeoPoint east{.latitude = latitude, .longitude = longitude + 360};
    QCOMPARE(frame.toPixel(east).x() - 396.5, frame.worldWidth());
    const GeoPoint corner = frame.toGeo({0, 0});
    QCOMPARE(frame.toPixel(corner).x() + 1, 1.0);
    QCOMPARE(frame.toPixel(corner).y() + 1, 1.0);
}

void tst_MapGeometry::graticule_data() {
    QTest::addColumn<double>("span");
    QTest::addColumn<int>("maxLines");
    QTest::addColumn<double>("stepMinutes");
    QTest::addColumn<double>("at");
    QTest::addColumn<bool>("latitude");
    QTest::addColumn<QString>("label");

    QTest::newRow("zoom 5, 35 degrees") << 34.9 << 7 << 300.0 << 10.0 << false << u"10°E"_s;
    QTest::newRow("whole degree of minute lines")
        << 2.0 << 7 << 20.0 << 48.0 << true << u"48°00'N"_s;
    QTest::newRow("half minutes") << 0.034 << 7 << 0.5 << -(11 + 31.5 / 60) << false
                                  << u"11°31.5'W"_s;
    QTest::newRow("hundredths of a minute")
        << 0.0003 << 4 << 0.01 << -(33 + 51.05 / 60) << true << u"33°51.05'S"_s;
    QTest::newRow("equator") << 60.0 << 3 << 1200.0 << 0.0 << true << u"0°"_s;
    QTest::newRow("past 180 east") << 30.0 << 3 << 600.0 << 190.0 << false << u"170°W"_s;
    QTest::newRow("180") << 30.0 << 3 << 600.0 << -180.0 << false << u"180°"_s;
    QTest::newRow("whole world") << 360.0 << 4 << 1800.0 << -60.0 << true << u"60°S"_s;
}

void tst_MapGeometry::graticule() {
    QFETCH(double, span);
    QFETCH(int, maxLines);
    QFETCH(double, stepMinutes);
    QFETCH(double, at);
    QFETCH(bool, latitude);
    QFETCH(QString, label);
    const double step = graticuleStep(span, maxLines);
    QCOMPARE(step * 60, stepMinutes);
    QCOMPARE(graticuleLabel(at, step, latitude), label);
}

void tst_MapGeometry::scaleBar_data() {
    QTest::addColumn<double>("metresPerPixel");
    QTest::addColumn<double>("metres");
    QTest::addColumn<QString>("label");
    QTest::newRow("zoom 12, equator") << 38.2185 << 5000.0 << u"5 km"_s;
    QTest::newRow("zoom 5") << 3500.0 << 500000.0 << u"500 km"_s;
    QTest::newRow("zoom 15") << 3.2 << 200.0 << u"200 m"_s;
    QTest::newRow("exactly fits") << 1.0 << 100.0 << u"100 m"_s;
}

void tst_MapGeometry::scaleBar() {
    QFETCH(double, metresPerPixel);
    QFETCH(double, metres);
    QFETCH(QString, label);
    const ScaleBar bar = scaleBarFor(metresPerPixel, 150);
    QCOMPARE(bar.metres, metres);
    QCOMPARE(bar.label, label);
    QCOMPARE(bar.pixels * metresPerPixel, metres);
    QVERIFY(bar.pixels <= 150);
}

void tst_MapGeometry::land_data() {
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<bool>("land");
    QTest::newRow("munich") << 48.1173 << 11.5167 << true;
    QTest::newRow("alps") << 46.5 << 10.0 << true;
    QTest::newRow("mid atlantic") << 30.0 << -40.0 << false;
    QTest::newRow("pacific") << 0.0 << -150.0 << false;
    QTest::newRow("caspian sea, a hole in the land") << 42.0 << 50.5 << false;
    QTest::newRow("greenland") << 72.0 << -40.0 << true;
    QTest::newRow("australia") << -25.0 << 134.0 << true;
    // Shapes across the 180th meridian, and Antarctica round the pole.
    QTest::newRow("chukotka, west of 180") << 67.0 << -179.0 << true;
    QTest::newRow("wrangel island") << 71.2 << -179.5 << true;
    QTest::newRow("bering sea") << 60.0 << -178.0 << false;
    QTest::newRow("antarctica") << -80.0 << 0.0 << true;
    QTest::newRow("near the south pole") << -89.0 << 100.0 << true;
    QTest::newRow("southern ocean") << -60.0 << 0.0 << false;
}

void tst_MapGeometry::land() {
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(bool, land);
    QCOMPARE(isLand(shippedWorldOutlines(), {.latitude = latitude, .longitude = longitude}), land);
}

void tst_MapGeometry::damagedOutlinesReadAsNone() {
    QFile file(u":/outlines/world-50m.bin"_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    // Small enough to carry in the program.
    QVERIFY(whole.size() < 400 * 1024);
    QVERIFY(!readWorldOutlines(whole).land.isEmpty());
    for (const QByteArray &damaged :
         {whole.left(whole.size() - 1), whole + '\0', QByteArray("PLW1"), QByteArray("junk")}) {
        const WorldOutlines outlines = readWorldOutlines(damaged);
        QVERIFY(outlines.land.isEmpty() && outlines.borders.isEmpty());
    }
}

QTEST_GUILESS_MAIN(tst_MapGeometry)
#include "tst_mapgeometry.moc"
