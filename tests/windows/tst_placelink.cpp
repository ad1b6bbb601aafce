// "Google Link" writes the place link for the current position; "Öffnen" hands the box's text,
// whatever it is, to the desktop's URL handler (a recording double here).
#include "testdesktop.h"
#include "tracecapture.h"
#include "ui_form1.h"
#include "windows/form1.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kPlace = u"https://www.google.com/maps/place/"_s;

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
    std::unique_ptr<Form1> m_form;
};

void tst_PlaceLink::init() {
    m_desktop = TestDesktop();
    m_form = std::make_unique<Form1>(m_desktop.services());
}

void tst_PlaceLink::cleanup() {
    m_form.reset();
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
    m_form->model().Label21.write(latitude);
    m_form->model().Label22.write(longitude);
    m_form->ui().Text2->setText(u"old text"_s);
    QTest::mouseClick(m_form->ui().Command8, Qt::LeftButton);
    QCOMPARE(m_form->ui().Text2->text(), link);
    QVERIFY(m_desktop.opened.isEmpty()); // building does not open
}

void tst_PlaceLink::openHandsOverTheLastBuiltLink() {
    m_form->model().Label21.write(u"48 \u00B0  07.038 ' N"_s);
    m_form->model().Label22.write(u"011 \u00B0  31.000 ' E"_s);
    QTest::mouseClick(m_form->ui().Command8, Qt::LeftButton);
    m_form->model().Label21.write(u"33 \u00B0  51.7836 ' S"_s); // the position moves on
    QTest::mouseClick(m_form->ui().Command9, Qt::LeftButton);
    QTest::mouseClick(m_form->ui().Command9, Qt::LeftButton);
    const QString built = kPlace + u"48\u00B007.038'N 011\u00B031.000'E"_s;
    QCOMPARE(m_desktop.opened, (QStringList{built, built}));
    QCOMPARE(m_form->ui().Text2->text(), built);
}

void tst_PlaceLink::openHandsOverAnyText_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty box") << QString();
    QTest::newRow("typed by hand") << u"  nicht einmal eine Adresse %zz "_s;
}

void tst_PlaceLink::openHandsOverAnyText() {
    QFETCH(QString, text);
    TraceCapture trace;
    m_form->ui().Text2->setText(text);
    QTest::mouseClick(m_form->ui().Command9, Qt::LeftButton);

    QCOMPARE(m_desktop.opened, QStringList{text});
    QCOMPARE(trace.lines(u"open"), QStringList{u"[\"open\",\""_s + text + u"\"]"_s});
}

QTEST_MAIN(tst_PlaceLink)
#include "tst_placelink.moc"
