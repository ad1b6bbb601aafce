// The local date and time as a table: UTC date and time, time zone and summer time in, the text
// of the local field out, or no change.
#include "logic/localtime.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// Marks a row whose field must keep its text.
const QString kUnchanged = u"<unchanged>"_s;
} // namespace

class tst_LocalTime : public QObject {
    Q_OBJECT
private slots:
    void table_data();
    void table();
    void independentOfLocale();
};

void tst_LocalTime::table_data() {
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("offset");
    QTest::addColumn<bool>("summer");
    QTest::addColumn<QString>("expected");

    // Without a date the time wraps past midnight and no date is shown.
    QTest::newRow("time only, past midnight")
        << QString() << u"23:30:00"_s << u"+1"_s << false << u"00:30:00"_s;
    QTest::newRow("time only, back before midnight")
        << QString() << u"00:30:00"_s << u"-2"_s << false << u"22:30:00"_s;
    QTest::newRow("time only, summer time across midnight")
        << QString() << u"22:15:09"_s << u"+4"_s << true << u"03:15:09"_s;

    QTest::newRow("plain") << u"06.12.26"_s << u"12:35:19"_s << u"+1"_s << false
                           << u"06.12.2026 13:35:19"_s;
    QTest::newRow("year end with summer time")
        << u"31.12.26"_s << u"23:30:00"_s << u"+1"_s << true << u"01.01.2027 01:30:00"_s;
    QTest::newRow("exactly midnight gives the date alone")
        << u"06.12.26"_s << u"23:00:00"_s << u"+1"_s << false << u"07.12.2026"_s;
    QTest::newRow("offset 0 with summer time")
        << u"15.07.26"_s << u"10:00:01"_s << u"0"_s << true << u"15.07.2026 11:00:01"_s;
    QTest::newRow("negative offset back across midnight")
        << u"01.01.27"_s << u"03:59:59"_s << u"-5"_s << false << u"31.12.2026 22:59:59"_s;
    QTest::newRow("negative offset with summer time")
        << u"01.03.26"_s << u"01:00:00"_s << u"-5"_s << true << u"28.02.2026 21:00:00"_s;
    QTest::newRow("end of a 30-day month")
        << u"30.04.26"_s << u"23:10:00"_s << u"+2"_s << false << u"01.05.2026 01:10:00"_s;
    QTest::newRow("end of February, common year")
        << u"28.02.26"_s << u"22:00:00"_s << u"+3"_s << false << u"01.03.2026 01:00:00"_s;
    QTest::newRow("leap day") << u"28.02.28"_s << u"22:00:00"_s << u"+3"_s << false
                              << u"29.02.2028 01:00:00"_s;
    QTest::newRow("back onto a leap day")
        << u"01.03.28"_s << u"02:00:00"_s << u"-3"_s << false << u"29.02.2028 23:00:00"_s;
    QTest::newRow("two-digit year 99 runs into 2100")
        << u"31.12.99"_s << u"23:00:00"_s << u"+1"_s << false << u"01.01.2100"_s;

    // Nothing to read, or nothing readable: the field keeps its text.
    QTest::newRow("both empty (display reset)")
        << QString() << QString() << u"+1"_s << false << kUnchanged;
    QTest::newRow("no fix: two colons") << QString() << u"::"_s << u"+1"_s << false << kUnchanged;
    QTest::newRow("no fix with a date")
        << u"06.12.26"_s << u"::"_s << u"+1"_s << true << kUnchanged;
    QTest::newRow("no date: two points")
        << u".."_s << u"12:35:19"_s << u"+1"_s << false << kUnchanged;
    QTest::newRow("date without time")
        << u"06.12.26"_s << QString() << u"+1"_s << false << kUnchanged;
    QTest::newRow("short time field")
        << QString() << u"12:35:1"_s << u"+1"_s << false << kUnchanged;
    QTest::newRow("hour 24") << QString() << u"24:00:00"_s << u"+1"_s << false << kUnchanged;
    QTest::newRow("30 February") << u"30.02.26"_s << u"12:00:00"_s << u"+1"_s << false
                                 << kUnchanged;
    QTest::newRow("month 13") << u"01.13.26"_s << u"12:00:00"_s << u"+1"_s << false << kUnchanged;
    QTest::newRow("short date field")
        << u"23.03."_s << u"12:00:00"_s << u"+1"_s << false << kUnchanged;
    QTest::newRow("non-ASCII digits")
        << QString() << u"\u0661\u0662:00:00"_s << u"+1"_s << false << kUnchanged;
    QTest::newRow("unreadable offset")
        << QString() << u"12:00:00"_s << u"eins"_s << false << kUnchanged;
    // Found by fuzzing: a zone of millions of hours wrote a five-digit year.
    QTest::newRow("offset beyond a day")
        << u"06.12.26"_s << u"12:00:00"_s << u"99999999"_s << false << kUnchanged;
    QTest::newRow("largest offset of a day")
        << u"06.12.26"_s << u"12:00:00"_s << u"-24"_s << true << u"05.12.2026 13:00:00"_s;
}

void tst_LocalTime::table() {
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QString, offset);
    QFETCH(bool, summer);
    QFETCH(QString, expected);

    const std::optional<QString> local = localTimeText(date, time, offset, summer);
    QCOMPARE(local.value_or(kUnchanged), expected);
}

void tst_LocalTime::independentOfLocale() {
    // The machine's locale must neither change how the date is read nor how it is written.
    const QLocale previous;
    for (const QLocale::Language language : {QLocale::English, QLocale::Arabic, QLocale::German}) {
        QLocale::setDefault(QLocale(language, QLocale::AnyTerritory));
        QCOMPARE(localTimeText(u"06.12.26"_s, u"23:30:05"_s, u"+1"_s, true).value_or(kUnchanged),
                 u"07.12.2026 01:30:05"_s);
    }
    QLocale::setDefault(previous);
}

QTEST_GUILESS_MAIN(tst_LocalTime)
#include "tst_localtime.moc"
