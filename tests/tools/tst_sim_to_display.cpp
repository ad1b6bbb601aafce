// The whole road from a receiver to the screen: pelora-sim on a pseudo-terminal, attached to
// port "1" through PELORA_COM1 as the start script does it, a real main window activating that
// port, the poll timer decoding, the local time and the map following.
#include "session/session.h"
#include "testdesktop.h"
#include "ui_form1.h"
#include "windows/form1.h"
#include "windows/form3.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_SimToDisplay : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void simulatedReceiverReachesTheDisplay();

private:
    QProcess m_sim;
    QString m_device;
};

void tst_SimToDisplay::initTestCase() {
    // Two seconds before New Year, so the first cycle shows the old year's date and time.
    m_sim.start(QStringLiteral(PELORA_SIM_PATH),
                {u"--start"_s, u"2026-12-31T23:59:58Z"_s, u"--baud"_s, u"38400"_s, u"--route"_s,
                 u"goettingen"_s, u"--duration"_s, u"60"_s, u"--seed"_s, u"7"_s});
    QVERIFY2(m_sim.waitForStarted(), qPrintable(m_sim.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.canReadLine(), 5000);
    m_device = QString::fromLocal8Bit(m_sim.readLine()).trimmed();
    QVERIFY2(m_device.startsWith(u"/dev/"_s), qPrintable(m_device));
    qputenv("PELORA_COM1", m_device.toLocal8Bit());
}

void tst_SimToDisplay::cleanupTestCase() {
    m_sim.terminate();
    m_sim.waitForFinished(3000);
}

void tst_SimToDisplay::simulatedReceiverReachesTheDisplay() {
    TestDesktop desktop;
    Session session;
    Form1 form(session, desktop.services());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    Ui::Form1 &ui = form.ui();

    QTest::mouseClick(ui.Option1_0, Qt::LeftButton); // 200 ms: a cycle takes 4 s
    QCOMPARE(session.pollTimer().interval(), 200);
    QCOMPARE(ui.Combo1->currentText(), u"1"_s);
    ui.Combo2->setCurrentText(u"38400"_s);
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    QVERIFY(session.input().isOpen());
    QCOMPARE(ui.Command3->text(), u"An"_s);

    // The first complete GGA, GSA and RMC of the buffer are on screen within a few ticks.
    QTRY_VERIFY_WITH_TIMEOUT(!session.model().utcTime.text().isEmpty() &&
                                 !session.model().utcDate.text().isEmpty() &&
                                 !session.model().pdop.text().isEmpty(),
                             10000);

    const QString deg = u" \u00B0  "_s;
    QVERIFY2(QRegularExpression(u"^(23:59:5[89]|00:00:0\\d)$"_s)
                 .match(session.model().utcTime.text())
                 .hasMatch(),
             qPrintable(session.model().utcTime.text()));
    QVERIFY2(session.model().utcDate.text() == u"31.12.26"_s ||
                 session.model().utcDate.text() == u"01.01.27"_s,
             qPrintable(session.model().utcDate.text()));
    // Goettingen's old town: about 51 deg 32 min N, 9 deg 56 min E.
    QVERIFY2(QRegularExpression(u"^51"_s + deg + u"3\\d\\.\\d{4} ' N$"_s)
                 .match(session.model().latitude.text())
                 .hasMatch(),
             qPrintable(session.model().latitude.text()));
    QVERIFY2(QRegularExpression(u"^009"_s + deg + u"5\\d\\.\\d{4} ' E$"_s)
                 .match(session.model().longitude.text())
                 .hasMatch(),
             qPrintable(session.model().longitude.text()));
    QVERIFY2(QRegularExpression(u"^1[45]\\d\\.\\d m$"_s)
                 .match(session.model().altitude.text())
                 .hasMatch(),
             qPrintable(session.model().altitude.text()));
    // 20 knots as the simulator was told; a course in degrees.
    QVERIFY2(session.model().speed.text().toDouble() > 19.0 &&
                 session.model().speed.text().toDouble() < 21.0,
             qPrintable(session.model().speed.text()));
    const double course = session.model().course.text().toDouble();
    QVERIFY2(course >= 0.0 && course < 360.0, qPrintable(session.model().course.text()));
    QVERIFY(session.model().satellites[0].text().contains(QRegularExpression(u"^\\d\\d$"_s)));
    QVERIFY(session.model().pdop.text().toDouble() > 0.0);

    // "+1" without summer time: New Year's Day 2027 in the local time.
    QVERIFY2(session.model().localDateTime.text().startsWith(u"01.01.2027"_s),
             qPrintable(session.model().localDateTime.text()));

    // The hidden map window follows, loading nothing until it is shown; then it loads the
    // address of the shown position.
    auto *map = form.findChild<Form3 *>();
    QVERIFY(map);
    QVERIFY(desktop.loads.isEmpty());
    map->show();
    QCOMPARE(desktop.loads.size(), 1);
    QString position = session.model().latitude.text() + u',' + session.model().longitude.text();
    position.remove(u' ');
    QVERIFY2(desktop.loads.last().contains(u"q="_s + position + u"&output=embed&z=12"_s),
             qPrintable(desktop.loads.last()));

    // The type list comes with the eleventh counted tick and names what the simulator sends.
    QTRY_VERIFY_WITH_TIMEOUT(session.model().sentenceTypes().contains(u"$GPGSV"_s), 10000);
    for (const QString &type : {u"$GPGGA"_s, u"$GPRMC"_s, u"$GPGSA"_s, u"$GPVTG"_s, u"$GPGLL"_s})
        QVERIFY2(session.model().sentenceTypes().contains(type),
                 qPrintable(session.model().sentenceTypes()));
}

QTEST_MAIN(tst_SimToDisplay)
#include "tst_sim_to_display.moc"
