// The two web-map addresses, built from the position fields as the GGA decoder writes them.
#include "logic/mapaddress.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_MapAddress : public QObject {
    Q_OBJECT
private slots:
    void addresses_data();
    void addresses();
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

QTEST_GUILESS_MAIN(tst_MapAddress)
#include "tst_mapaddress.moc"
