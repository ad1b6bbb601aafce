// Port names the window builds, the tooltips that name their devices, and the list texts that
// become line settings.
#include "logic/portname.h"

#include <QHash>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_PortName : public QObject {
    Q_OBJECT
private slots:
    void device_data();
    void device();
    void settingNumber_data();
    void settingNumber();
};

void tst_PortName::device_data() {
    QTest::addColumn<QString>("listText");
    QTest::addColumn<int>("naming");
    QTest::addColumn<QString>("expected");

    const int posix = int(DeviceNaming::Unix);
    const int windows = int(DeviceNaming::Windows);
    QTest::newRow("1 is the first serial device") << u"1"_s << posix << u"/dev/ttyS0"_s;
    QTest::newRow("12, same prefix") << u"12"_s << posix << u"/dev/ttyS11"_s;
    QTest::newRow("leading zero is still port 3") << u"03"_s << posix << u"/dev/ttyS2"_s;
    QTest::newRow("environment names port 7") << u"7"_s << posix << u"/dev/pts/5"_s;
    QTest::newRow("environment name under /dev") << u"8"_s << posix << u"/dev/ttyUSB1"_s;
    QTest::newRow("empty environment value is unset") << u"9"_s << posix << u"/dev/ttyS8"_s;
    QTest::newRow("typed path") << u"/dev/pts/3"_s << posix << u"/dev/pts/3"_s;
    QTest::newRow("typed name") << u"ttyUSB0"_s << posix << u"/dev/ttyUSB0"_s;
    QTest::newRow("0 is no port number") << u"0"_s << posix << u"/dev/0"_s;
    QTest::newRow("signed number is a name") << u"+3"_s << posix << u"/dev/+3"_s;
    QTest::newRow("too large for a number") << u"99999999999"_s << posix << u"/dev/99999999999"_s;
    QTest::newRow("windows keeps the name") << u"12"_s << windows << u"\\\\.\\COM12"_s;
    QTest::newRow("windows ignores the environment") << u"7"_s << windows << u"\\\\.\\COM7"_s;
    QTest::newRow("empty text, no tooltip") << QString() << posix << u"/dev/"_s;
}

void tst_PortName::device() {
    QFETCH(QString, listText);
    QFETCH(int, naming);
    QFETCH(QString, expected);
    const QHash<QString, QString> environment{{u"PELORA_COM7"_s, u"/dev/pts/5"_s},
                                              {u"PELORA_COM8"_s, u"ttyUSB1"_s},
                                              {u"PELORA_COM9"_s, QString()}};
    // The prefix is seven characters: two backslashes, a full stop, a backslash and COM.
    QCOMPARE(kComPrefix.size(), 7);
    const auto lookup = [&](const QString &name) { return environment.value(name); };
    const QString device =
        portDevice(kComPrefix.toString() + listText, DeviceNaming(naming), lookup);
    QCOMPARE(device, expected);
    // The tooltip names the very device that activating the port opens.
    QCOMPARE(portToolTip(listText, DeviceNaming(naming), lookup),
             listText.isEmpty() ? QString() : u"\u00d6ffnet "_s + expected);
}

void tst_PortName::settingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<int>("value");
    QTest::newRow("list entry") << u"4800"_s << true << 4800;
    QTest::newRow("typed, not in the list") << u"115200"_s << true << 115200;
    QTest::newRow("surrounding blanks") << u"  8 "_s << true << 8;
    QTest::newRow("signed") << u"-1"_s << true << -1;
    QTest::newRow("largest 32-bit") << u"2147483647"_s << true << 2147483647;
    QTest::newRow("beyond 32 bits") << u"2147483648"_s << false << 0;
    QTest::newRow("letters") << u"abc"_s << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("blanks only") << u"   "_s << false << 0;
    QTest::newRow("fraction") << u"9600.5"_s << false << 0;
    QTest::newRow("inner blank") << u"96 00"_s << false << 0;
    QTest::newRow("hexadecimal") << u"0x10"_s << false << 0;
}

void tst_PortName::settingNumber() {
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(int, value);
    const std::optional<qint32> number = portSettingNumber(text);
    QCOMPARE(number.has_value(), isNumber);
    if (isNumber)
        QCOMPARE(*number, value);
}

QTEST_GUILESS_MAIN(tst_PortName)
#include "tst_portname.moc"
