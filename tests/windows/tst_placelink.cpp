// "Google Link" writes the place link for the current position; "Öffnen" hands the box's text,
// whatever it is, to the desktop's URL handler (a recording double here), and says so when
// nothing took it.
#include "session/session.h"
#include "testdesktop.h"
#include "tracecapture.h"
#include "ui_form1.h"
#include "windows/form1.h"

#include <QMessageBox>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kPlace = u"https://www.google.com/maps/place/"_s;

// The message that nothing took the link, while it is open.
QMessageBox *linkMessage(const Form1 &form) {
    return form.findChild<QMessageBox *>(u"linkMessage"_s, Qt::FindDirectChildrenOnly);
}

} // namespace

class tst_PlaceLink : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void buildFromTheFields_data();
    void buildFromTheFields();
    void openHandsOverTheLastBuiltLink();
    void openHandsOverAnyText_data();
    void openHandsOverAnyText();

private:
    TestDesktop m_desktop;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<Form1> m_form;
};

void tst_PlaceLink::init() {
    m_desktop = TestDesktop();
    m_session = std::make_unique<Session>();
    m_form = std::make_unique<Form1>(*m_session, m_desktop.services());
}

void tst_PlaceLink::cleanup() {
    m_form.reset();
    m_session.reset();
}

void tst_PlaceLink::buildFromTheFields_data() {
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<QString>("link");
    QTest::newRow("no position yet") << QString() << QString() << kPlace + u" "_s;
    QTest::newRow("decoded position") << u"48 \u00B0  07.038 ' N"_s << u"011 \u00B0  31.000 ' E"_s
                                      << kPlace + u"48\u00B007.038'N 011\u00B031.000'E"_s;
}

void tst_PlaceLink::buildFromTheFields() {
    QFETCH(QString, latitude);
    QFETCH(QString, longitude);
    QFETCH(QString, link);
    m_session->model().latitude.write(latitude);
    m_session->model().longitude.write(longitude);
    m_form->ui().Text2->setText(u"old text"_s);
    QTest::mouseClick(m_form->ui().Command8, Qt::LeftButton);
    QCOMPARE(m_form->ui().Text2->text(), link);
    QVERIFY(m_desktop.opened.isEmpty()); // building does not open
}

void tst_PlaceLink::openHandsOverTheLastBuiltLink() {
    m_session->model().latitude.write(u"48 \u00B0  07.038 ' N"_s);
    m_session->model().longitude.write(u"011 \u00B0  31.000 ' E"_s);
    QTest::mouseClick(m_form->ui().Command8, Qt::LeftButton);
    m_session->model().latitude.write(u"33 \u00B0  51.7836 ' S"_s); // the position moves on
    QTest::mouseClick(m_form->ui().Command9, Qt::LeftButton);
    QTest::mouseClick(m_form->ui().Command9, Qt::LeftButton);
    const QString built = kPlace + u"48\u00B007.038'N 011\u00B031.000'E"_s;
    QCOMPARE(m_desktop.opened, (QStringList{built, built}));
    QCOMPARE(m_form->ui().Text2->text(), built);
}

void tst_PlaceLink::openHandsOverAnyText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("taken");
    QTest::newRow("empty box") << QString() << true;
    QTest::newRow("typed by hand") << u"  nicht einmal eine Adresse %zz "_s << true;
    QTest::newRow("link, nothing takes it")
        << kPlace + u"48\u00B007.038'N 011\u00B031.000'E"_s << false;
    QTest::newRow("empty box, nothing takes it") << QString() << false;
}

void tst_PlaceLink::openHandsOverAnyText() {
    QFETCH(QString, text);
    QFETCH(bool, taken);
    m_desktop.openSucceeds = taken;
    TraceCapture trace;
    m_form->ui().Text2->setText(text);
    QTest::mouseClick(m_form->ui().Command9, Qt::LeftButton);
    QTest::mouseClick(m_form->ui().Command9, Qt::LeftButton);

    // Handed over each time, message or not.
    QCOMPARE(m_desktop.opened, (QStringList{text, text}));
    const QString event = u"[\"open\",\""_s + text + u"\"]"_s;
    QCOMPARE(trace.lines(u"open"), (QStringList{event, event}));
    if (taken) {
        QVERIFY(!linkMessage(*m_form));
        QVERIFY(m_form->findChildren<QMessageBox *>().isEmpty());
        return;
    }
    // The clicks came back at once (no event loop of its own), and one message is enough.
    QMessageBox *message = linkMessage(*m_form);
    QVERIFY(message);
    QVERIFY(message->isVisible());
    QCOMPARE(message->windowModality(), Qt::NonModal);
    QCOMPARE(message->windowTitle(), u"Achtung"_s);
    QCOMPARE(message->text(),
             u"Der Link lie\u00df sich nicht \u00f6ffnen: kein Programm hat ihn angenommen."_s);
    QCOMPARE(m_form->findChildren<QMessageBox *>().size(), 1);
    message->close();
    QTRY_VERIFY(!linkMessage(*m_form));
}

QTEST_MAIN(tst_PlaceLink)
#include "tst_placelink.moc"
