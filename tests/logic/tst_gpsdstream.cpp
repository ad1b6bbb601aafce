#include "logic/gpsdstream.h"

#include <QTest>

using namespace Qt::StringLiterals;

// What gpsd sends is split into the receiver's sentences, passed on byte for byte, and gpsd's
// objects, of which only the device reports count; in whatever pieces the bytes arrive.
class tst_GpsdStream : public QObject {
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void devices_data();
    void devices();
    void stopsAfterAChange();
};

namespace {

const QByteArray kVersion =
    R"({"class":"VERSION","release":"3.22","rev":"3.22","proto_major":3,"proto_minor":14})"
    "\r\n";
const QByteArray kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
const QByteArray kTpv = R"({"class":"TPV","device":"/dev/ttyUSB0","mode":3,"lat":48.1173})"
                        "\r\n";
QByteArray devicesObject(const QByteArray &list) {
    return R"({"class":"DEVICES","devices":[)" + list + "]}\r\n";
}
QByteArray device(const QByteArray &path, const QByteArray &activated) {
    return R"({"class":"DEVICE","path":")" + path + R"(","activated":)" + activated + "}\r\n";
}

// Everything fed in pieces of the given size (0: whole), the sentences gathered.
QByteArray sentencesOf(GpsdStream &stream, const QByteArray &bytes, qsizetype piece) {
    QByteArray sentences;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype size = piece == 0 ? bytes.size() - at : qMin(piece, bytes.size() - at);
        QByteArrayView rest = QByteArrayView(bytes).sliced(at, size);
        while (!rest.isEmpty()) {
            const qsizetype used = stream.feed(rest, sentences);
            rest = rest.sliced(used);
            at += used;
        }
    }
    return sentences;
}

} // namespace

void tst_GpsdStream::split_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("sentences");
    const QByteArray rmc = "$GPRMC,113258,A,3238.9148,N,10822.4466,W,005.3,247.1,181022,,E*6B\r\n";
    QTest::newRow("greeting, then sentences among objects")
        << kVersion + devicesObject(QByteArray()) + kGga + kTpv + rmc << kGga + rmc;
    // A proprietary or unknown line is the receiver's; gpsd's own lines all begin with "{".
    QTest::newRow("any line not starting with a brace")
        << "$PGRMT,GPS 15x-W software ver. 4.20,,,,,,,,*6A\r\n!AIVDM,x\r\n" + kTpv
        << QByteArray("$PGRMT,GPS 15x-W software ver. 4.20,,,,,,,,*6A\r\n!AIVDM,x\r\n");
    QTest::newRow("a brace inside a sentence is the sentence's")
        << QByteArray("$GPTXT,01,01,02,{not json}*00\r\n")
        << QByteArray("$GPTXT,01,01,02,{not json}*00\r\n");
    QTest::newRow("line ends as they came")
        << QByteArray("$A*00\n$B*00\r\n\r\n" + kTpv) << QByteArray("$A*00\n$B*00\r\n\r\n");
    QTest::newRow("an over-long object is skipped, the sentence after it kept")
        << "{" + QByteArray(GpsdStream::kLongestObject + 10, 'x') + "}\r\n" + kGga << kGga;
    QTest::newRow("a sentence not ended yet is passed on as far as it came")
        << kTpv + "$GPGGA,1235" << QByteArray("$GPGGA,1235");
}

void tst_GpsdStream::split() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, sentences);
    for (const qsizetype piece : {qsizetype(0), qsizetype(1), qsizetype(7), qsizetype(64)}) {
        GpsdStream stream;
        QCOMPARE(sentencesOf(stream, bytes, piece), sentences);
    }
}

void tst_GpsdStream::devices_data() {
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("present");
    const QByteArray usb = R"({"class":"DEVICE","path":"/dev/ttyUSB0","activated":"2026-12-08"})";
    const QByteArray acm = R"({"class":"DEVICE","path":"/dev/ttyACM0","activated":"2026-12-08"})";
    QTest::newRow("none") << QString() << kVersion + devicesObject(QByteArray()) << QStringList();
    QTest::newRow("listed") << QString() << devicesObject(usb + "," + acm)
                            << QStringList{u"/dev/ttyUSB0"_s, u"/dev/ttyACM0"_s};
    QTest::newRow("only the one asked for")
        << u"/dev/ttyACM0"_s << devicesObject(usb + "," + acm) << QStringList{u"/dev/ttyACM0"_s};
    QTest::newRow("plugged in later")
        << QString() << devicesObject(QByteArray()) + device("/dev/ttyUSB0", "\"t\"")
        << QStringList{u"/dev/ttyUSB0"_s};
    QTest::newRow("dropped: activated 0")
        << QString() << devicesObject(usb) + device("/dev/ttyUSB0", "0") << QStringList();
    QTest::newRow("another dropped")
        << u"/dev/ttyUSB0"_s << devicesObject(usb) + device("/dev/ttyACM0", "0")
        << QStringList{u"/dev/ttyUSB0"_s};
    QTest::newRow("a position naming a device is no report")
        << QString() << devicesObject(QByteArray()) + kTpv << QStringList();
}

void tst_GpsdStream::devices() {
    QFETCH(QString, asked);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, present);
    for (const qsizetype piece : {qsizetype(0), qsizetype(1)}) {
        GpsdStream stream(asked);
        QVERIFY(sentencesOf(stream, bytes, piece).isEmpty());
        QCOMPARE(stream.present(), present);
        QVERIFY(stream.known());
    }
}

// The sentences before a device report go on before the report is acted upon, so that a port
// that loses its device has passed on every sentence that came before the loss.
void tst_GpsdStream::stopsAfterAChange() {
    GpsdStream stream;
    const QByteArray first = devicesObject(QByteArray()) + kGga;
    const QByteArray plugged = device("/dev/ttyUSB0", "\"t\"");
    const QByteArray bytes = first + plugged + kGga + kTpv + kGga;
    QByteArray sentences;
    qsizetype used = stream.feed(bytes, sentences);
    QCOMPARE(used, devicesObject(QByteArray()).size()); // the first report
    QVERIFY(stream.devicesChanged());
    used += stream.feed(QByteArrayView(bytes).sliced(used), sentences);
    QCOMPARE(used, first.size() + plugged.size());
    QVERIFY(stream.devicesChanged());
    QCOMPARE(sentences, kGga);
    QCOMPARE(stream.present(), QStringList{u"/dev/ttyUSB0"_s});
    used += stream.feed(QByteArrayView(bytes).sliced(used), sentences);
    QCOMPARE(used, bytes.size());
    QVERIFY(!stream.devicesChanged());
    QCOMPARE(sentences, kGga + kGga + kGga);
    stream.reset();
    QVERIFY(!stream.known());
    QVERIFY(stream.present().isEmpty());
}

QTEST_GUILESS_MAIN(tst_GpsdStream)
#include "tst_gpsdstream.moc"
