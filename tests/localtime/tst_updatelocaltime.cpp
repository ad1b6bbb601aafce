// The local time on the main window: the handler of the UTC time field reads the date field,
// the time zone and the summer-time box at that moment and writes the local field.
#include "app/form1.h"
#include "tests/support/testdesktop.h"
#include "ui_form1.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_UpdateLocalTime : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void followsTheTimeField();
    void noFixKeepsTheLastText();
    void resetLeavesItAloneThenEmptiesIt();
    void receiverLog();

private:
    TestDesktop m_desktop;
    std::unique_ptr<Form1> m_form;
    QString local() const { return m_form->Label24()->text(); }
};

void tst_UpdateLocalTime::init() {
    m_desktop = TestDesktop();
    m_form = std::make_unique<Form1>(m_desktop.services());
}

void tst_UpdateLocalTime::cleanup() {
    m_form.reset();
}

void tst_UpdateLocalTime::followsTheTimeField() {
    m_form->Label20()->write(u"23:30:00"_s);
    QCOMPARE(local(), u"00:30:00"_s); // no date yet: the time alone, "+1" from the start
    // A new date, time zone or summer time shows only with the next change of the time.
    m_form->Label19()->write(u"31.12.26"_s);
    m_form->ui().Combo6->setCurrentText(u"-5"_s);
    m_form->ui().Check2->setChecked(true);
    QCOMPARE(local(), u"00:30:00"_s);
    m_form->Label20()->write(u"23:30:01"_s);
    QCOMPARE(local(), u"31.12.2026 19:30:01"_s);
    m_form->ui().Combo6->setCurrentText(u"+1"_s);
    m_form->Label20()->write(u"23:30:02"_s);
    QCOMPARE(local(), u"01.01.2027 01:30:02"_s);
}

void tst_UpdateLocalTime::noFixKeepsTheLastText() {
    // A receiver that loses its fix sends empty fields: the GGA decoder writes "::".
    m_form->Text1().append(
        u"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"_s);
    m_form->module1().DecodeGGA();
    QCOMPARE(local(), u"13:35:19"_s);
    m_form->Text1().clear();
    m_form->Text1().append(u"$GPGGA,,,,,,0,00,,,M,,M,,*66\r\n"_s);
    QSignalSpy localChanges(m_form->Label24(), &DisplayField::changed);
    m_form->module1().DecodeGGA();
    QCOMPARE(m_form->Label20()->text(), u"::"_s);
    QCOMPARE(local(), u"13:35:19"_s);
    QCOMPARE(localChanges.count(), 0);
}

void tst_UpdateLocalTime::resetLeavesItAloneThenEmptiesIt() {
    m_form->Label19()->write(u"06.12.26"_s);
    m_form->Label20()->write(u"12:00:00"_s);
    QCOMPARE(local(), u"06.12.2026 13:00:00"_s);

    // Runs after the local-time handler, inside the same write of the time field.
    QString seenByTimeChange = u"<not run>"_s;
    connect(m_form->Label20(), &DisplayField::changed, this, [&] { seenByTimeChange = local(); });
    m_form->module1().ResetDisplay();
    QCOMPARE(seenByTimeChange, u"06.12.2026 13:00:00"_s);
    QCOMPARE(local(), QString());
}

void tst_UpdateLocalTime::receiverLog() {
    // First RMC and GGA of a recorded Garmin receiver: 18 October 2022, 11:32:58 UTC.
    QFile log(QStringLiteral(PELORA_TESTDATA "/garmin15x.log"));
    QVERIFY2(log.open(QIODevice::ReadOnly), qPrintable(log.fileName()));
    m_form->Text1().append(QString::fromLatin1(log.readAll()));
    m_form->ui().Check1->setChecked(true);
    m_form->ui().Check2->setChecked(true);
    m_form->module1().DecodeRMC();
    m_form->module1().DecodeGGA();
    QCOMPARE(m_form->Label19()->text(), u"18.10.22"_s);
    QCOMPARE(m_form->Label20()->text(), u"11:32:58"_s);
    QCOMPARE(local(), u"18.10.2022 13:32:58"_s); // "+1" and summer time
}

QTEST_MAIN(tst_UpdateLocalTime)
#include "tst_updatelocaltime.moc"
