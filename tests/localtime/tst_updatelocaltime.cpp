// The local time on the main window: a change of the UTC date or time field reads both, the time
// zone and the summer-time box at that moment and writes the local field.
#include "app/form1.h"
#include "tests/support/testdesktop.h"
#include "tests/support/tracecapture.h"
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
    void followsBothUtcFields_data();
    void followsBothUtcFields();
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

void tst_UpdateLocalTime::followsBothUtcFields_data() {
    // Each step writes the date ("19="), the time ("20="), the zone ("zone=") or summer time
    // ("summer=1"); the local field after each step.
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
    // time of the same tick is written.
    QTest::newRow("midnight shows the date alone")
        << QStringList{u"zone=0"_s,      u"19=06.12.26"_s, u"20=23:59:59"_s,
                       u"19=07.12.26"_s, u"20=00:00:00"_s, u"20=00:00:01"_s}
        << QStringList{QString(),
                       QString(),
                       u"06.12.2026 23:59:59"_s,
                       u"07.12.2026 23:59:59"_s,
                       u"07.12.2026"_s,
                       u"07.12.2026 00:00:01"_s};
}

void tst_UpdateLocalTime::followsBothUtcFields() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, shown);
    QStringList actual;
    for (const QString &step : std::as_const(steps)) {
        const QString value = step.section(u'=', 1);
        if (step.startsWith(u"19="))
            m_form->Label19()->write(value);
        else if (step.startsWith(u"20="))
            m_form->Label20()->write(value);
        else if (step.startsWith(u"zone="))
            m_form->ui().Combo6->setCurrentText(value);
        else
            m_form->ui().Check2->setChecked(value == u"1");
        actual << local();
    }
    QCOMPARE(actual, shown);
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

    // The reset empties the date first, which recomputes nothing; then the time, whose handler
    // finds both empty. This one runs after it, inside the same write of the time field.
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
    TraceCapture trace;
    m_form->module1().DecodeRMC(); // the date alone, without a time yet, writes nothing
    m_form->module1().DecodeGGA();
    QCOMPARE(trace.lines(u"field").filter(u"\"Label24\""_s),
             QStringList{u"[\"field\",\"Label24\",\"18.10.2022 13:32:58\"]"_s});
    QCOMPARE(m_form->Label19()->text(), u"18.10.22"_s);
    QCOMPARE(m_form->Label20()->text(), u"11:32:58"_s);
    QCOMPARE(local(), u"18.10.2022 13:32:58"_s); // "+1" and summer time
}

QTEST_MAIN(tst_UpdateLocalTime)
#include "tst_updatelocaltime.moc"
