// The four menu commands and the about box. The converter start and the map's browser are caught
// by doubles; the modal windows are real and are closed from timers while their loop runs.
#include "attachedreceiver.h"
#include "modalwindow.h"
#include "session/session.h"
#include "testdesktop.h"
#include "tracecapture.h"
#include "ui_form1.h"
#include "ui_form2.h"
#include "ui_form3.h"
#include "ui_skywindow.h"
#include "windows/form1.h"
#include "windows/form2.h"
#include "windows/form3.h"
#include "windows/skyviews.h"
#include "windows/skywindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString kGga = u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"_s;
const QString kEmptyPosition = u"http://maps.google.com/maps?q=,&output=embed&z=12"_s;

} // namespace

class tst_Menu : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void converter_data();
    void converter();
    void converterName();
    void mapBeforeAnyPosition();
    void mapShowsTheHiddenWindowAsItIs();
    void mapKeepsFollowingWhileShown();
    void mapAfterCloseIsNew();
    void aboutBox();
    void skyWindowBesideTheMainWindow();
    void skyPlotPlacesByDirection();
    void escapeKeepsTheWindow_data();
    void escapeKeepsTheWindow();
    void endsAtOnce_data();
    void endsAtOnce();

private:
    Form3 *mapWindow() const { return m_form->findChild<Form3 *>(); }
    // A receiver on the input port, for the tests that decode what it sends.
    bool attachReceiver() {
        m_receiver = std::make_unique<AttachedReceiver>();
        return m_receiver->attach(*m_session);
    }

    TestDesktop m_desktop;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<Form1> m_form;
    std::unique_ptr<AttachedReceiver> m_receiver;
};

void tst_Menu::init() {
    m_desktop = TestDesktop();
    m_session = std::make_unique<Session>();
    m_form = std::make_unique<Form1>(*m_session, m_desktop.services());
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void tst_Menu::cleanup() {
    m_form.reset();
    m_session.reset();
    m_receiver.reset();
}

void tst_Menu::converter_data() {
    QTest::addColumn<bool>("found");
    QTest::newRow("started") << true;
    QTest::newRow("cannot be started") << false;
}

void tst_Menu::converter() {
    QFETCH(bool, found);
    m_desktop.startSucceeds = found;
    TraceCapture trace;
    m_form->ui().rechner->trigger();
    m_form->ui().rechner->trigger(); // each time, without looking for a running copy

    QCOMPARE(m_desktop.started, (QStringList{converterProgram(), converterProgram()}));
    const QString line =
        found ? u"[\"start\",\"tabrex\",true]"_s : u"[\"start\",\"tabrex\",false]"_s;
    QCOMPARE(trace.lines(u"start"), (QStringList{line, line}));
    // A failure is told in a message that holds nothing up; the display goes on meanwhile.
    const auto boxes = m_form->findChildren<QMessageBox *>();
    QCOMPARE(boxes.size(), found ? 0 : 1); // not one per failed start
    for (QMessageBox *box : boxes) {
        QVERIFY(box->isVisible() && !box->isModal());
        QCOMPARE(box->text(), u"Rechner (tabrex) konnte nicht gestartet werden."_s);
    }
    QVERIFY(!QApplication::activeModalWidget());
    m_session->model().utcTime.write(u"10:00:00"_s);
    QCOMPARE(m_session->model().localDateTime.text(), u"11:00:00"_s);
}

void tst_Menu::converterName() {
#ifdef Q_OS_WIN
    QCOMPARE(converterProgram(), u"tabrex.exe"_s);
#else
    QCOMPARE(converterProgram(), u"tabrex"_s);
#endif
    // The real start reports a program it cannot find, instead of failing silently.
    QVERIFY(!Desktop::startDetached(u"pelora-no-such-program"_s));
}

void tst_Menu::mapBeforeAnyPosition() {
    bool shownModal = false;
    whileModal([&](QWidget *modal) { shownModal = modal == mapWindow() && modal->isVisible(); });
    m_form->ui().karte->trigger(); // returns when the window is closed
    QVERIFY(shownModal);
    QCOMPARE(m_desktop.loads, QStringList{kEmptyPosition});
    QVERIFY(!mapWindow()); // closing ended it
}

void tst_Menu::mapShowsTheHiddenWindowAsItIs() {
    QVERIFY2(attachReceiver(), qPrintable(m_receiver->error()));
    QVERIFY(m_receiver->send(kGga));
    m_session->byHand().decoders.DecodeGGA();
    Form3 *hidden = mapWindow();
    QVERIFY(hidden);
    QVERIFY(!hidden->isVisible());
    hidden->ui().Check1->setChecked(true);
    hidden->ui().Combo1->setCurrentText(u"9"_s);
    QVERIFY(m_desktop.loads.isEmpty()); // hidden, it loads nothing

    QWidget *shown = nullptr;
    QString zoom, latitude;
    bool paused = false;
    whileModal([&](QWidget *modal) {
        shown = modal;
        zoom = hidden->ui().Combo1->currentText();
        paused = hidden->ui().Check1->isChecked();
        latitude = hidden->ui().Label4->text();
    });
    m_form->ui().karte->trigger();
    QCOMPARE(shown, hidden);
    QCOMPARE(zoom, u"9"_s);
    QVERIFY(paused);
    QCOMPARE(latitude, u"48\u00B007.038'N"_s);
    // Shown at last, it loads the latest map: the zoom chosen while hidden.
    QCOMPARE(m_desktop.loads,
             QStringList{u"http://maps.google.com/maps?q=48\u00B007.038'N,011\u00B031.000'E"
                         "&output=embed&z=9"_s});
}

void tst_Menu::mapKeepsFollowingWhileShown() {
    // The poll timer keeps ticking behind the modal window, decoding, and data keeps arriving
    // from the receiver on the input port.
    QVERIFY2(attachReceiver(), qPrintable(m_receiver->error()));
    int ticks = 0;
    connect(&m_session->pollTimer(), &QTimer::timeout, m_form.get(), [&] { ++ticks; });
    m_session->byHand().timer.start(10);

    QString readout;
    QStringList loadsWhileShown;
    whileModal([&](QWidget *modal) {
        QTimer::singleShot(0, m_form.get(), [&] { m_receiver->write(kGga); });
        auto *map = qobject_cast<Form3 *>(modal);
        QVERIFY(map);
        QTRY_VERIFY(!map->ui().Label5->text().isEmpty());
        readout = map->ui().Label5->text();
        loadsWhileShown = m_desktop.loads;
    });
    m_form->ui().karte->trigger();
    m_session->byHand().timer.stop();

    QVERIFY(ticks > 0);
    QCOMPARE(readout, u"011\u00B031.000'E"_s);
    QCOMPARE(loadsWhileShown,
             (QStringList{kEmptyPosition,
                          u"http://maps.google.com/maps?q=48\u00B007.038'N,&output=embed&z=12"_s,
                          u"http://maps.google.com/maps?q=48\u00B007.038'N,011\u00B031.000'E"
                          "&output=embed&z=12"_s}));
    QCOMPARE(m_session->model().localDateTime.text(),
             u"13:35:19"_s); // the main window's display updated too
}

void tst_Menu::mapAfterCloseIsNew() {
    QVERIFY2(attachReceiver(), qPrintable(m_receiver->error()));
    QVERIFY(m_receiver->send(kGga));
    m_session->byHand().decoders.DecodeGGA();
    QString chosen;
    whileModal([&](QWidget *) {
        mapWindow()->ui().Combo1->setCurrentText(u"15"_s);
        chosen = mapWindow()->mapZoom();
    });
    m_form->ui().karte->trigger();
    QVERIFY(!mapWindow());
    QCOMPARE(chosen, u"15"_s);

    QString zoom, latitude;
    bool paused = true;
    whileModal([&](QWidget *) {
        zoom = mapWindow()->ui().Combo1->currentText();
        paused = mapWindow()->ui().Check1->isChecked();
        latitude = mapWindow()->ui().Label4->text();
    });
    m_form->ui().karte->trigger();
    QCOMPARE(zoom, u"12"_s);
    QVERIFY(!paused);
    QVERIFY(latitude.isEmpty()); // until the next position change
    QVERIFY(m_desktop.loads.last().endsWith(u"&z=12"_s));
}

void tst_Menu::aboutBox() {
    QString title;
    QSize size;
    QColor background;
    QStringList texts;
    QList<QRect> places;
    QStringList cut;
    whileModal([&](QWidget *modal) {
        auto *about = qobject_cast<Form2 *>(modal);
        QVERIFY(about);
        title = about->windowTitle();
        size = about->size();
        background = about->palette().color(QPalette::Window);
        for (QLabel *label : {about->ui().Label1, about->ui().Label2, about->ui().Label3}) {
            texts << label->text();
            places << label->geometry();
            if (label->sizeHint().width() > label->width() || label->alignment() != Qt::AlignCenter)
                cut << label->objectName();
        }
    });
    m_form->ui().info->trigger();

    QCOMPARE(title, u"Info"_s);
    QCOMPARE(size, QSize(244, 104)); // 3660 x 1560 twips
    QCOMPARE(background, QColor(128, 255, 255));
    QCOMPARE(texts.size(), 3);
    QCOMPARE(texts[0], u" Version 1.0"_s);
    QVERIFY(texts[1].startsWith(u"\u00A9 "_s));
    QVERIFY(!texts[2].isEmpty());
    QCOMPARE(places, (QList<QRect>{QRect(24, 16, 193, 17), QRect(24, 40, 193, 17),
                                   QRect(24, 64, 193, 17)}));
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u", ")));
    QVERIFY(m_form->findChildren<Form2 *>().isEmpty()); // closing ended it
}

void tst_Menu::escapeKeepsTheWindow_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("Karte") << u"karte"_s;
    QTest::newRow("Info") << u"info"_s;
}

void tst_Menu::escapeKeepsTheWindow() {
    // Only the close box ends these windows; Escape ending the map would lose its zoom and pause.
    QFETCH(QString, command);
    bool openAfterEscape = false;
    whileModal([&](QWidget *modal) {
        QWidget *focus = QApplication::focusWidget();
        QTest::keyClick(focus && modal->isAncestorOf(focus) ? focus : modal, Qt::Key_Escape);
        openAfterEscape = modal->isVisible() && QApplication::activeModalWidget() == modal;
    });
    m_form->findChild<QAction *>(command)->trigger();
    QVERIFY(openAfterEscape);
}

void tst_Menu::endsAtOnce_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Ende") << false;
    QTest::newRow("close box") << true;
}

void tst_Menu::endsAtOnce() {
    QFETCH(bool, closeBox);
    // A hidden map window exists, and a visible message box would keep Qt's own last-window
    // rule from ending the program: only the program's own ending may stop the loop.
    m_session->model().latitude.write(u"48 \u00B0  07.038 ' N"_s);
    QVERIFY(mapWindow());
    m_desktop.startSucceeds = false;
    m_form->ui().rechner->trigger();
    if (closeBox)
        QTimer::singleShot(0, m_form.get(), &QWidget::close);
    else
        QTimer::singleShot(0, m_form->ui().ende, &QAction::trigger);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    watchdog.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!m_form->isVisible());
}

void tst_Menu::skyWindowBesideTheMainWindow() {
    QVERIFY2(attachReceiver(), qPrintable(m_receiver->error()));
    m_form->ui().satelliten->trigger();
    auto *sky = m_form->findChild<SkyWindow *>();
    QVERIFY(sky && sky->isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    m_form->ui().satelliten->trigger();
    QCOMPARE(m_form->findChildren<SkyWindow *>().size(), 1);

    // A GPS satellite on two signals and a Galileo one, from a receiver that sends its fix as
    // $GN: counted as satellites, and the fix shown though the main window stays empty.
    QVERIFY(m_receiver->send(
        u"$GPGSV,1,1,01,05,40,120,42,1*51\r\n"
        "$GPGSV,1,1,01,05,40,120,30,8*5D\r\n"
        "$GAGSV,1,1,01,11,20,300,,7*43\r\n"
        "$GNGSA,A,3,05,,,,,,,,,,,,2.5,1.3,2.1,1*32\r\n"
        "$GNGGA,123519,4807.038,N,01131.000,E,4,08,0.9,545.4,M,46.9,M,,*5C\r\n"_s));
    QTRY_VERIFY(sky->ui().fixLabel->text().contains(u"RTK fest"_s));
    const QString counts = sky->ui().countsLabel->text();
    QVERIFY2(counts.contains(u"GPS                1        1\n"_s), qPrintable(counts));
    QVERIFY2(counts.contains(u"Galileo            1        0\n"_s), qPrintable(counts));
    QVERIFY2(counts.contains(u"Gesamt             2        1\n"_s), qPrintable(counts));
    QVERIFY(sky->ui().positionLabel->text().contains(u"48,117300\u00b0 N"_s));
    QVERIFY(m_form->ui().Label21->text().isEmpty());
    sky->close();
    QTRY_VERIFY(!m_form->findChild<SkyWindow *>());
}

// North up and east to the right, the horizon on the rim: a satellite due east on the horizon is
// drawn at the east end of the outer ring, one overhead in the centre.
void tst_Menu::skyPlotPlacesByDirection() {
    SkyPlot plot;
    plot.resize(400, 460);
    SkySatellite east{.id = 7, .elevation = 0, .azimuth = 90, .snr = {{u"1"_s, 40}}, .used = true};
    plot.setSatellites({{GnssSystem::Gps, {east}}});
    const QImage image = plot.grab().toImage();
    const QPointF rim = plot.pointOf(0, 90);
    const QPointF centre = plot.pointOf(90, 0);
    QCOMPARE(plot.pointOf(90, 270), centre);
    QVERIFY(rim.x() > centre.x() + 150 && std::abs(rim.y() - centre.y()) < 0.5);
    QCOMPARE(plot.pointOf(0, 0).x(), centre.x());
    QVERIFY(plot.pointOf(0, 0).y() < centre.y());
    QCOMPARE(image.pixelColor(rim.toPoint()), styleOf(GnssSystem::Gps).colour);
    QVERIFY(image.pixelColor(centre.toPoint()) != styleOf(GnssSystem::Gps).colour);
}

QTEST_MAIN(tst_Menu)
#include "tst_menu.moc"
