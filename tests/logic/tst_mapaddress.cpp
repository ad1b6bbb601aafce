// The two web-map addresses, built from the position fields as the GGA decoder writes them, and
// what decides, before the web engine exists, whether it can run at all.
#include "logic/mapaddress.h"
#include "logic/webengine.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_MapAddress : public QObject {
    Q_OBJECT
private slots:
    void addresses_data();
    void addresses();
    void sandboxRefusesRoot_data();
    void sandboxRefusesRoot();
};

void tst_MapAddress::addresses_data() {
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<QString>("zoom");
    QTest::addColumn<QString>("map");
    QTest::addColumn<QString>("place");

    const QString map = u"http://maps.google.com/maps?q="_s;
    const QString place = u"https://www.google.com/maps/place/"_s;
    QTest::newRow("decoded position")
        << u"48 \u00B0  07.038 ' N"_s << u"011 \u00B0  31.000 ' E"_s << u"12"_s
        << map + u"48\u00B007.038'N,011\u00B031.000'E&output=embed&z=12"_s
        << place + u"48\u00B007.038'N 011\u00B031.000'E"_s;
    QTest::newRow("southern and western, long minutes")
        << u"33 \u00B0  51.7836 ' S"_s << u"151 \u00B0  12.3353 ' W"_s << u"5"_s
        << map + u"33\u00B051.7836'S,151\u00B012.3353'W&output=embed&z=5"_s
        << place + u"33\u00B051.7836'S 151\u00B012.3353'W"_s;
    // A GGA sentence without a fix leaves only the fixed pieces in both fields.
    QTest::newRow("no fix") << u" \u00B0   ' "_s << u" \u00B0   ' "_s << u"15"_s
                            << map + u"\u00B0',\u00B0'&output=embed&z=15"_s
                            << place + u"\u00B0' \u00B0'"_s;
    QTest::newRow("both empty") << QString() << QString() << u"12"_s
                                << map + u",&output=embed&z=12"_s << place + u" "_s;
    QTest::newRow("empty latitude")
        << QString() << u"011 \u00B0  31.000 ' E"_s << u"12"_s
        << map + u",011\u00B031.000'E&output=embed&z=12"_s << place + u" 011\u00B031.000'E"_s;
    QTest::newRow("empty longitude")
        << u"48 \u00B0  07.038 ' N"_s << QString() << u"12"_s
        << map + u"48\u00B007.038'N,&output=embed&z=12"_s << place + u"48\u00B007.038'N "_s;
    QTest::newRow("blanks only") << u"   "_s << u" "_s << u"12"_s << map + u",&output=embed&z=12"_s
                                 << place + u" "_s;
    // Only the blank goes; other white space and every other character stay.
    QTest::newRow("only blanks removed")
        << u"  4\t8  N  "_s << u"0\u00A01 E"_s << QString()
        << map + u"4\t8N,0\u00A01E&output=embed&z="_s << place + u"4\t8N 0\u00A01E"_s;
}

void tst_MapAddress::addresses() {
    QFETCH(QString, latitude);
    QFETCH(QString, longitude);
    QFETCH(QString, zoom);
    QFETCH(QString, map);
    QFETCH(QString, place);
    QCOMPARE(mapAddress(latitude, longitude, zoom), map);
    QCOMPARE(placeLink(latitude, longitude), place);
}

void tst_MapAddress::sandboxRefusesRoot_data() {
    QTest::addColumn<bool>("root");
    QTest::addColumn<QStringList>("environment"); // NAME=value entries
    QTest::addColumn<bool>("refuses");

    const QString off = u"QTWEBENGINE_DISABLE_SANDBOX="_s;
    const QString flags = u"QTWEBENGINE_CHROMIUM_FLAGS="_s;
    QTest::newRow("user") << false << QStringList() << false;
    QTest::newRow("user, sandbox off") << false << QStringList{off + u"1"_s} << false;
    QTest::newRow("root") << true << QStringList{u"HOME=/root"_s} << true;
    QTest::newRow("root, sandbox off") << true << QStringList{off + u"1"_s} << false;
    // The engine only asks whether the variable is there.
    QTest::newRow("root, sandbox off, empty") << true << QStringList{off} << false;
    QTest::newRow("root, sandbox off, 0") << true << QStringList{off + u"0"_s} << false;
    QTest::newRow("root, --no-sandbox among flags")
        << true << QStringList{flags + u"--log-level=3  --no-sandbox"_s} << false;
    QTest::newRow("root, -no-sandbox") << true << QStringList{flags + u"-no-sandbox"_s} << false;
    QTest::newRow("root, other flags") << true << QStringList{flags + u"--log-level=3"_s} << true;
    QTest::newRow("root, similar flags")
        << true << QStringList{flags + u"--disable-setuid-sandbox --no-sandboxing no-sandbox"_s}
        << true;
    QTest::newRow("root, switch under another name")
        << true << QStringList{u"QTWEBENGINE_DISABLE_SANDBOX_X=1"_s, u"NO_SANDBOX=1"_s} << true;
}

void tst_MapAddress::sandboxRefusesRoot() {
    QFETCH(bool, root);
    QFETCH(QStringList, environment);
    QFETCH(bool, refuses);
    QProcessEnvironment env;
    for (const QString &entry : environment)
        env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    QCOMPARE(::sandboxRefusesRoot(root, env), refuses);
}

QTEST_GUILESS_MAIN(tst_MapAddress)
#include "tst_mapaddress.moc"
