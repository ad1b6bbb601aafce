// The map window behind a recording page loader: what it loads, when, and what it shows.
#include "attachedreceiver.h"
#include "logic/mappages.h"
#include "logic/worldoutlines.h"
#include "modalwindow.h"
#include "session/session.h"
#include "testdesktop.h"
#include "tracecapture.h"
#include "ui_form1.h"
#include "ui_form3.h"
#include "windows/form1.h"
#include "windows/form3.h"
#include "windows/offlinemap.h"
#include "windows/offlinepageloader.h"

#include <QLabel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kBase = u"http://maps.google.com/maps?q="_s;
const QString kGgaMunich = u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"_s;
const QString kGgaSydney =
    u"$GPGGA,001043.00,3351.7836,S,15112.3353,W,1,05,1.6,41.2,M,21.3,M,,*5E"_s;
const QString kMunichLat = u"48\u00B007.038'N"_s;
const QString kMunichLon = u"011\u00B031.000'E"_s;
const QString kSydneyLat = u"33\u00B051.7836'S"_s;
const QString kSydneyLon = u"151\u00B012.3353'W"_s;

QString address(const QString &latitude, const QString &longitude, const QString &zoom) {
    return kBase + latitude + u',' + longitude + u"&output=embed&z="_s + zoom;
}

} // namespace

class tst_Form3 : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void createdHiddenByTheFirstPosition();
    void controls();
    void geometry_data();
    void geometry();
    void captionsFitWhole();
    void bothFieldsChangedLoadTwice();
    void samePositionLoadsNothing();
    void pauseBlocksPositionsNotZoom();
    void resetLoadsTheEmptyFields();
    void everyLoadIsTraced();
    void withoutWebEngineTheMapAreaExplains();
    void offlineMapFollowsLikeTheWebMap();
    void offlineMapDrawsLandAndSea_data();
    void offlineMapDrawsLandAndSea();
    void offlineMapZoomStepHalvesTheGround();

private:
    void checkControls();
    // The sentence alone in the receive log, as the first of a new cycle, decoded.
    void decode(const QString &sentence) {
        m_receiver->endCycle();
        QVERIFY(m_receiver->send(sentence + u"\r\n"_s));
        m_session->byHand().decoders.DecodeGGA();
    }
    // The map window, once the first position has created it.
    Form3 *mapWindow() const { return m_form->findChild<Form3 *>(); }
    Ui::Form3 &map() { return mapWindow()->ui(); }
    // The first position creates it, hidden.
    Form3 *createdByAPosition() {
        m_session->model().latitude.write(u"48 \u00B0  07.038 ' N"_s);
        return mapWindow();
    }
    // As where the web engine cannot run: the map area draws the map from the shipped outlines.
    void useOfflineMap() {
        Desktop desktop = m_desktop.services();
        desktop.makePageLoader = [](QWidget *browserArea) {
            return std::make_unique<OfflinePageLoader>(
                browserArea, noWebMapNotice(WebEngineObstacle::RootWithSandbox));
        };
        m_form = std::make_unique<Form1>(*m_session, desktop);
    }
    // The drawn map of the map window, shown: a hidden one has no browser yet.
    OfflineMap *offlineMap() {
        mapWindow()->show();
        return map().WebBrowser1->findChild<OfflineMap *>();
    }
    void showPosition(const QString &latitude, const QString &longitude, const QString &zoom) {
        m_session->model().latitude.write(latitude);
        m_session->model().longitude.write(longitude);
        map().Combo1->setCurrentText(zoom);
    }
    QImage drawnMap() {
        mapWindow()->show();
        if (!QTest::qWaitForWindowExposed(mapWindow()))
            return QImage();
        return offlineMap()->grab().toImage();
    }

    TestDesktop m_desktop;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<Form1> m_form;
    std::unique_ptr<AttachedReceiver> m_receiver; // on the input port
};

void tst_Form3::init() {
    m_desktop = TestDesktop();
    m_session = std::make_unique<Session>();
    m_form = std::make_unique<Form1>(*m_session, m_desktop.services());
    m_receiver = std::make_unique<AttachedReceiver>();
    QVERIFY2(m_receiver->attach(*m_session), qPrintable(m_receiver->error()));
}

void tst_Form3::cleanup() {
    m_form.reset();
    m_session.reset();
    m_receiver.reset();
}

void tst_Form3::createdHiddenByTheFirstPosition() {
    QVERIFY(!mapWindow());
    m_session->model().latitude.write(u"48 \u00B0  07.038 ' N"_s);
    QVERIFY(mapWindow());
    QVERIFY(!mapWindow()->isVisible());
    QCOMPARE(mapWindow()->mapZoom(), u"12"_s);
    // Hidden, it loads nothing, and no web engine starts for it; it keeps the latest map.
    QVERIFY(m_desktop.loads.isEmpty());
    QCOMPARE(map().Label4->text(), kMunichLat);
    QCOMPARE(map().Label5->text(), QString());
    m_session->model().longitude.write(u"011 \u00B0  31.000 ' E"_s);
    QVERIFY(m_desktop.loads.isEmpty());
    // Shown, it loads the latest map once, and follows from then on.
    mapWindow()->show();
    QCOMPARE(m_desktop.loads, QStringList{address(kMunichLat, kMunichLon, u"12"_s)});
    m_session->model().latitude.write(u"33 \u00B0  52.000 ' S"_s);
    QCOMPARE(m_desktop.loads.size(), 2);
}

void tst_Form3::controls() {
    // As "Karte" shows it before any position.
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    bool seen = false;
    whileModal([&](QWidget *modal) {
        seen = modal == mapWindow();
        if (seen)
            checkControls();
    });
    m_form->ui().karte->trigger();
    QVERIFY(seen);
}

void tst_Form3::checkControls() {
    Form3 *window = mapWindow();
    QCOMPARE(window->windowTitle(), u"Karte"_s);
    QCOMPARE(window->size(), QSize(930, 539)); // 13950 x 8085 twips
    QCOMPARE(window->palette().color(QPalette::Window), QColor(192, 255, 255));
    QCOMPARE(map().Label4->palette().color(QPalette::Window), QColor(255, 255, 192));
    QVERIFY(map().Label4->autoFillBackground());
    QStringList zooms;
    for (int i = 0; i < map().Combo1->count(); ++i)
        zooms << map().Combo1->itemText(i);
    QCOMPARE(zooms, (QStringList{u"15"_s, u"14"_s, u"13"_s, u"12"_s, u"11"_s, u"10"_s, u"9"_s,
                                 u"8"_s, u"7"_s, u"6"_s, u"5"_s}));
    QVERIFY(!map().Combo1->isEditable());
    QCOMPARE(map().Combo1->currentText(), u"12"_s);
    QCOMPARE(map().Label1->text(), u"Zoom"_s);
    QCOMPARE(map().Label2->text(), u"Breite"_s);
    QCOMPARE(map().Label3->text(), u"Länge"_s);
    QCOMPARE(map().Check1->text(), u"Anhalten"_s);
    QVERIFY(!map().Check1->isChecked());
    QVERIFY(map().Label4->text().isEmpty());
    QVERIFY(map().Label5->text().isEmpty());
}

void tst_Form3::geometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("Combo1") << u"Combo1"_s << QRect(240, 840, 1335, 315);
    QTest::newRow("Label4") << u"Label4"_s << QRect(120, 2880, 1455, 375);
    QTest::newRow("Label5") << u"Label5"_s << QRect(120, 4080, 1455, 375);
    QTest::newRow("Check1") << u"Check1"_s << QRect(120, 4920, 1455, 375);
    QTest::newRow("WebBrowser1") << u"WebBrowser1"_s << QRect(1800, 360, 11895, 7575);
}

void tst_Form3::geometry() {
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    auto *widget = createdByAPosition()->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
}

void tst_Form3::captionsFitWhole() {
    Form3 *window = createdByAPosition();
    // The widest position the read-outs have to show.
    map().Label4->setText(u"48\u00B007.0381'N"_s);
    map().Label5->setText(u"151\u00B012.3353'W"_s);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QStringList cut;
    for (QLabel *label : {map().Label1, map().Label2, map().Label3, map().Label4, map().Label5})
        if (label->sizeHint().width() > label->width())
            cut << label->objectName();
    if (map().Check1->sizeHint().width() > map().Check1->width())
        cut << u"Check1"_s;
    QStyleOptionComboBox option;
    option.initFrom(map().Combo1);
    const QRect textArea = map().Combo1->style()->subControlRect(
        QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, map().Combo1);
    if (map().Combo1->fontMetrics().horizontalAdvance(u"15"_s) > textArea.width())
        cut << u"Combo1"_s;
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u", ")));
}

void tst_Form3::bothFieldsChangedLoadTwice() {
    decode(kGgaMunich);
    mapWindow()->show();
    m_desktop.loads.clear();
    decode(kGgaSydney);
    // Latitude is written first: its load still carries the previous longitude.
    QCOMPARE(m_desktop.loads, (QStringList{address(kSydneyLat, kMunichLon, u"12"_s),
                                           address(kSydneyLat, kSydneyLon, u"12"_s)}));
    QCOMPARE(map().Label4->text(), kSydneyLat);
    QCOMPARE(map().Label5->text(), kSydneyLon);
}

void tst_Form3::samePositionLoadsNothing() {
    decode(kGgaMunich);
    mapWindow()->show();
    m_desktop.loads.clear();
    decode(kGgaMunich);
    m_session->byHand().decoders.DecodeGGA();
    QVERIFY(m_desktop.loads.isEmpty());
}

void tst_Form3::pauseBlocksPositionsNotZoom() {
    decode(kGgaMunich);
    mapWindow()->show();
    map().Check1->setChecked(true);
    m_desktop.loads.clear();
    decode(kGgaSydney);
    QVERIFY(m_desktop.loads.isEmpty());
    QCOMPARE(map().Label4->text(), kMunichLat); // the last load before the pause
    QCOMPARE(map().Label5->text(), kMunichLon);

    map().Combo1->setCurrentText(u"14"_s);
    QCOMPARE(m_desktop.loads, QStringList{address(kSydneyLat, kSydneyLon, u"14"_s)});
    QCOMPARE(mapWindow()->mapZoom(), u"14"_s);
    QCOMPARE(map().Label4->text(), kMunichLat);

    map().Check1->setChecked(false);
    m_desktop.loads.clear();
    decode(kGgaMunich);
    QCOMPARE(m_desktop.loads.last(), address(kMunichLat, kMunichLon, u"14"_s));
}

void tst_Form3::resetLoadsTheEmptyFields() {
    decode(kGgaMunich);
    mapWindow()->show();
    m_desktop.loads.clear();
    m_session->byHand().decoders.ResetDisplay();
    QCOMPARE(m_desktop.loads, (QStringList{address(QString(), kMunichLon, u"12"_s),
                                           address(QString(), QString(), u"12"_s)}));
    QVERIFY(map().Label4->text().isEmpty());
    QVERIFY(map().Label5->text().isEmpty());
}

void tst_Form3::everyLoadIsTraced() {
    TraceCapture trace;
    decode(kGgaMunich);

    const QStringList loads = trace.lines(u"map");
    QCOMPARE(loads.size(), 3);
    QCOMPARE(loads[2], u"[\"map\",\"http://maps.google.com/maps?q=48\u00B007.038'N,"
                       "011\u00B031.000'E&output=embed&z=12\"]"_s);
}

// Where the web engine cannot run (as root with its sandbox on), the program still decodes and
// the map window draws the map itself, saying why there is no web map and how to get it.
void tst_Form3::withoutWebEngineTheMapAreaExplains() {
    useOfflineMap();
    TraceCapture trace;
    QVERIFY(m_receiver->send(kGgaMunich + u"\r\n"_s));
    m_session->byHand().cycle.PollTick();

    QCOMPARE(m_session->model().latitude.text(), u"48 \u00B0  07.038 ' N"_s);
    QCOMPARE(map().Label5->text(), kMunichLon);
    QCOMPARE(trace.lines(u"map").size(), 3);
    Form3 *window = mapWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    QVERIFY(std::none_of(widgets.begin(), widgets.end(),
                         [](QWidget *widget) { return widget->inherits("QWebEngineView"); }));
    auto *notice = map().WebBrowser1->findChild<QLabel *>();
    QVERIFY(notice);
    QVERIFY(notice->isVisible());
    QCOMPARE(offlineMap()->geometry(), map().WebBrowser1->rect());
    QCOMPARE(notice->geometry().intersected(map().WebBrowser1->rect()), notice->geometry());
    const QString text = notice->text();
    for (const QString &part :
         {u"Keine Web-Karte"_s, u"root"_s, u"QTWEBENGINE_DISABLE_SANDBOX=1"_s,
          u"auf eigene Gefahr"_s, u"48 \u00B0  07.038 ' N"_s, u"011 \u00B0  31.000 ' E"_s})
        QVERIFY2(text.contains(part), qPrintable(part));
}

// Pause and zoom act on the drawn map as on the web map's loads.
void tst_Form3::offlineMapFollowsLikeTheWebMap() {
    useOfflineMap();
    decode(kGgaMunich);
    const GeoPoint munich{.latitude = 48 + 7.038 / 60, .longitude = 11 + 31.0 / 60};
    QCOMPARE(offlineMap()->frame().centre().latitude, munich.latitude);
    map().Check1->setChecked(true);
    decode(kGgaSydney);
    QCOMPARE(offlineMap()->frame().centre().longitude, munich.longitude);
    QVERIFY(offlineMap()->findChild<QLabel *>()->text().contains(u"48 \u00B0  07.038 ' N"_s));

    map().Combo1->setCurrentText(u"14"_s);
    QCOMPARE(offlineMap()->frame().zoom(), 14);
    QCOMPARE(offlineMap()->frame().centre().longitude, -(151 + 12.3353 / 60));

    // Without a position the map stays where it was, without the marker.
    map().Check1->setChecked(false);
    const QImage placed = drawnMap();
    m_session->byHand().decoders.ResetDisplay();
    QCOMPARE(offlineMap()->frame().centre().longitude, -(151 + 12.3353 / 60));
    const QImage unplaced = drawnMap();
    const QPoint centre = unplaced.rect().center() + QPoint(1, 1);
    QCOMPARE(placed.pixelColor(centre), QColor(220, 0, 0));
    QVERIFY(unplaced.pixelColor(centre) != QColor(220, 0, 0));
}

void tst_Form3::offlineMapDrawsLandAndSea_data() {
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<QString>("zoom");
    QTest::addColumn<bool>("land");
    const QString munichLat = u"48 \u00B0  07.038 ' N"_s;
    const QString munichLon = u"011 \u00B0  31.000 ' E"_s;
    const QString atlanticLat = u"30 \u00B0  00.000 ' N"_s;
    const QString atlanticLon = u"040 \u00B0  00.000 ' W"_s;
    QTest::newRow("munich, 5") << munichLat << munichLon << u"5"_s << true;
    QTest::newRow("munich, 15") << munichLat << munichLon << u"15"_s << true;
    QTest::newRow("atlantic, 5") << atlanticLat << atlanticLon << u"5"_s << false;
    QTest::newRow("atlantic, 15") << atlanticLat << atlanticLon << u"15"_s << false;
    // Coasts in view, and land on both sides of the 180th meridian.
    QTest::newRow("off lisbon, 9")
        << u"38 \u00B0  30.000 ' N"_s << u"009 \u00B0  40.000 ' W"_s << u"9"_s << false;
    QTest::newRow("chukotka, 5") << u"67 \u00B0  00.000 ' N"_s << u"179 \u00B0  00.000 ' W"_s
                                 << u"5"_s << true;
}

enum class Ground { Land, Sea, Other };

Ground groundAt(const QImage &image, QPoint pixel) {
    const QColor colour = image.pixelColor(pixel);
    return colour == OfflineMap::kLand  ? Ground::Land
           : colour == OfflineMap::kSea ? Ground::Sea
                                        : Ground::Other;
}

// Every pixel of the drawn map shows land where the land test says land, round the marker too.
void tst_Form3::offlineMapDrawsLandAndSea() {
    QFETCH(QString, latitude);
    QFETCH(QString, longitude);
    QFETCH(QString, zoom);
    QFETCH(bool, land);
    useOfflineMap();
    showPosition(latitude, longitude, zoom);
    const QImage image = drawnMap();
    QCOMPARE(image.size(), map().WebBrowser1->size());
    const Ground expected = land ? Ground::Land : Ground::Sea;
    // Diagonally next to the marker, off the graticule lines through a round position.
    for (const QPoint offset : {QPoint(12, 12), QPoint(-12, 12), QPoint(12, -12), QPoint(-12, -12)})
        QCOMPARE(groundAt(image, image.rect().center() + offset), expected);

    const MapFrame frame = offlineMap()->frame();
    const int below = offlineMap()->findChild<QLabel *>()->geometry().bottom() + 1;
    int checked = 0;
    int disagree = 0;
    for (int y = below; y < image.height(); y += 10) {
        for (int x = 0; x < image.width(); x += 10) {
            const Ground ground = groundAt(image, QPoint(x, y));
            if (ground == Ground::Other)
                continue; // coast, lines, labels
            ++checked;
            if ((ground == Ground::Land) !=
                isLand(shippedWorldOutlines(), frame.toGeo(QPoint(x, y))))
                ++disagree;
        }
    }
    // Only straight edges bend differently in the two: a pixel or so along the coast.
    QVERIFY(checked > 1500);
    QVERIFY2(disagree * 200 < checked, qPrintable(u"%1 of %2"_s.arg(disagree).arg(checked)));
}

// One step closer, the same ground takes twice as many pixels each way.
void tst_Form3::offlineMapZoomStepHalvesTheGround() {
    useOfflineMap();
    showPosition(u"38 \u00B0  42.000 ' N"_s, u"009 \u00B0  10.000 ' W"_s, u"8"_s);
    const QImage far = drawnMap();
    map().Combo1->setCurrentText(u"9"_s);
    const QImage near = drawnMap();
    const QPoint centre = near.rect().center();
    const int below = offlineMap()->findChild<QLabel *>()->geometry().bottom() + 1;
    int checked = 0;
    int agree = 0;
    int land = 0;
    for (int y = below; y < near.height(); y += 4) {
        for (int x = 0; x < near.width(); x += 4) {
            const Ground closer = groundAt(near, QPoint(x, y));
            const Ground farther = groundAt(far, centre + (QPoint(x, y) - centre) / 2);
            if (closer == Ground::Other || farther == Ground::Other)
                continue;
            ++checked;
            agree += closer == farther;
            land += closer == Ground::Land;
        }
    }
    // Coast across the view, so that a wrong scale shows.
    QVERIFY(land > checked / 5 && land < checked * 4 / 5);
    QVERIFY2(agree > checked * 97 / 100, qPrintable(u"%1 of %2"_s.arg(agree).arg(checked)));
}

QTEST_MAIN(tst_Form3)
#include "tst_form3.moc"
