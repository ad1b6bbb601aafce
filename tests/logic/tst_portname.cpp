// Port names the window builds, the tooltips that name their devices, the list texts that become
// line settings, and what the user is told when a port cannot be activated.
#include "logic/portfailure.h"
#include "logic/portname.h"

#include <QHash>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(PortFailure)

class tst_PortName : public QObject {
    Q_OBJECT
private slots:
    void device_data();
    void device();
    void networkAddress_data();
    void networkAddress();
    void settingNumber_data();
    void settingNumber();
    void failureDetail_data();
    void failureDetail();
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
    QTest::newRow("environment names a network receiver")
        << u"6"_s << posix << u"tcp://127.0.0.1:10110"_s;
    QTest::newRow("typed path") << u"/dev/pts/3"_s << posix << u"/dev/pts/3"_s;
    QTest::newRow("typed name") << u"ttyUSB0"_s << posix << u"/dev/ttyUSB0"_s;
    QTest::newRow("0 is no port number") << u"0"_s << posix << u"/dev/0"_s;
    QTest::newRow("signed number is a name") << u"+3"_s << posix << u"/dev/+3"_s;
    QTest::newRow("too large for a number") << u"99999999999"_s << posix << u"/dev/99999999999"_s;
    QTest::newRow("windows keeps the name") << u"12"_s << windows << u"\\\\.\\COM12"_s;
    QTest::newRow("windows ignores the environment") << u"7"_s << windows << u"\\\\.\\COM7"_s;
    QTest::newRow("empty text, no tooltip") << QString() << posix << u"/dev/"_s;
}

void tst_PortName::networkAddress_data() {
    QTest::addColumn<QString>("listText");
    QTest::addColumn<QString>("input");  // tooltip on the input list
    QTest::addColumn<QString>("output"); // tooltip on the output list

    const QString bad = u"Keine g\u00fcltige Netzadresse"_s;
    const QString all = u" (alle Schnittstellen)"_s;
    QTest::newRow("tcp host") << u"tcp://gps.local:10110"_s << u"Verbindet zu gps.local:10110"_s
                              << u"Wartet auf Verbindungen an gps.local:10110"_s;
    QTest::newRow("tcp, all interfaces")
        << u"tcp://:10110"_s << bad << u"Wartet auf Verbindungen an Port 10110"_s + all;
    QTest::newRow("tcp loopback") << u"tcp://127.0.0.1:2000"_s << u"Verbindet zu 127.0.0.1:2000"_s
                                  << u"Wartet auf Verbindungen an 127.0.0.1:2000"_s;
    QTest::newRow("tcp IPv6") << u"tcp://[::1]:10110"_s << u"Verbindet zu [::1]:10110"_s
                              << u"Wartet auf Verbindungen an [::1]:10110"_s;
    QTest::newRow("capitals") << u"TCP://host:1"_s << u"Verbindet zu host:1"_s
                              << u"Wartet auf Verbindungen an host:1"_s;
    QTest::newRow("tcp port 0: only a waiting port lets the system choose")
        << u"tcp://host:0"_s << bad << u"Wartet auf Verbindungen an host:0"_s;
    QTest::newRow("udp broadcast")
        << u"udp://192.168.1.255:10110"_s << u"Empf\u00e4ngt UDP an 192.168.1.255:10110"_s
        << u"Sendet UDP an 192.168.1.255:10110"_s;
    QTest::newRow("udp, all interfaces")
        << u"udp://:10110"_s << u"Empf\u00e4ngt UDP an Port 10110"_s + all << bad;
    QTest::newRow("largest port") << u"tcp://h:65535"_s << u"Verbindet zu h:65535"_s
                                  << u"Wartet auf Verbindungen an h:65535"_s;
    QTest::newRow("port too large") << u"tcp://host:99999"_s << bad << bad;
    QTest::newRow("port 65536") << u"tcp://host:65536"_s << bad << bad;
    QTest::newRow("no port") << u"tcp://host"_s << bad << bad;
    QTest::newRow("empty port") << u"tcp://host:"_s << bad << bad;
    QTest::newRow("nothing after the scheme") << u"tcp://"_s << bad << bad;
    QTest::newRow("port no number") << u"udp://:x"_s << bad << bad;
    QTest::newRow("signed port") << u"udp://:+5"_s << bad << bad;
    QTest::newRow("blank in the host") << u"tcp://my host:1"_s << bad << bad;
    QTest::newRow("path after the port") << u"tcp://host:1/x"_s << bad << bad;
    QTest::newRow("IPv6 without brackets") << u"tcp://::1:5"_s << bad << bad;
    QTest::newRow("unclosed bracket") << u"tcp://[::1:5"_s << bad << bad;
    const QString gpsd = u"Liest, was gpsd an "_s;
    QTest::newRow("gpsd alone: this machine")
        << u"gpsd://"_s << gpsd + u"localhost:2947 weitergibt"_s << bad;
    QTest::newRow("gpsd host") << u"GPSD://boat"_s << gpsd + u"boat:2947 weitergibt"_s << bad;
    QTest::newRow("gpsd port") << u"gpsd://:2948"_s << gpsd + u"localhost:2948 weitergibt"_s << bad;
    QTest::newRow("gpsd device") << u"gpsd://h:1/dev/ttyUSB0"_s
                                 << gpsd + u"h:1 weitergibt, vom Ger\u00e4t /dev/ttyUSB0"_s << bad;
    QTest::newRow("gpsd IPv6, no port")
        << u"gpsd://[::1]/dev/x"_s << gpsd + u"[::1]:2947 weitergibt, vom Ger\u00e4t /dev/x"_s
        << bad;
    QTest::newRow("gpsd slash alone: any device")
        << u"gpsd:///"_s << gpsd + u"localhost:2947 weitergibt"_s << bad;
    QTest::newRow("gpsd port 0") << u"gpsd://h:0"_s << bad << bad;
    QTest::newRow("gpsd empty port") << u"gpsd://h:"_s << bad << bad;
    QTest::newRow("gpsd unclosed bracket") << u"gpsd://[::1/dev/x"_s << bad << bad;
}

void tst_PortName::networkAddress() {
    QFETCH(QString, listText);
    QFETCH(QString, input);
    QFETCH(QString, output);
    const auto none = [](const QString &) { return QString(); };
    QCOMPARE(portToolTip(listText, DeviceNaming::Unix, none, PortDirection::Input), input);
    QCOMPARE(portToolTip(listText, DeviceNaming::Unix, none, PortDirection::Output), output);
    // The address is the device on either system, never a name under /dev/.
    for (const DeviceNaming naming : {DeviceNaming::Unix, DeviceNaming::Windows})
        QCOMPARE(deviceOfPortName(kComPrefix.toString() + listText, naming, none), listText);
    const bool badTip = input.startsWith(u"Keine"_s);
    QCOMPARE(!parseNetAddress(listText, PortDirection::Input), badTip);
}

void tst_PortName::device() {
    QFETCH(QString, listText);
    QFETCH(int, naming);
    QFETCH(QString, expected);
    const QHash<QString, QString> environment{{u"PELORA_COM6"_s, u"tcp://127.0.0.1:10110"_s},
                                              {u"PELORA_COM7"_s, u"/dev/pts/5"_s},
                                              {u"PELORA_COM8"_s, u"ttyUSB1"_s},
                                              {u"PELORA_COM9"_s, QString()}};
    // The prefix is seven characters: two backslashes, a full stop, a backslash and COM.
    QCOMPARE(kComPrefix.size(), 7);
    const auto lookup = [&](const QString &name) { return environment.value(name); };
    const QString device =
        deviceOfPortName(kComPrefix.toString() + listText, DeviceNaming(naming), lookup);
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

void tst_PortName::failureDetail_data() {
    using Cause = PortFailure::Cause;
    QTest::addColumn<PortFailure>("failure");
    QTest::addColumn<QStringList>("says"); // each must appear in the detail

    const QString usb = u"/dev/ttyUSB0"_s;
    const QString pty = u"/dev/pts/3"_s;
    QTest::newRow("no failure, no detail") << PortFailure{} << QStringList();
    QTest::newRow("baud no number")
        << PortFailure{.cause = Cause::NotANumber,
                       .setting = PortSetting::BaudRate,
                       .value = u"abc"_s}
        << QStringList{u"\u201e\u00dc-rate\u201c"_s, u"\u201eabc\u201c"_s};
    QTest::newRow("stop bits blank") << PortFailure{.cause = Cause::NotANumber,
                                                    .setting = PortSetting::StopBits,
                                                    .value = u" "_s}
                                     << QStringList{u"\u201eStopbit\u201c ist leer"_s};
    QTest::newRow("empty name") << PortFailure{.cause = Cause::EmptyName}
                                << QStringList{u"\u201eCOM Port\u201c"_s};
    QTest::newRow("not found") << PortFailure{.cause = Cause::NotFound, .device = usb}
                               << QStringList{usb, u"gibt es nicht"_s};
    QTest::newRow("no permission, group of the device")
        << PortFailure{.cause = Cause::NoPermission, .device = usb, .group = u"uucp"_s}
        << QStringList{usb, u"Gruppe \u201euucp\u201c"_s};
    QTest::newRow("no permission, group unknown")
        << PortFailure{.cause = Cause::NoPermission, .device = usb}
        << QStringList{usb, u"Gruppe \u201edialout\u201c"_s};
    QTest::newRow("busy") << PortFailure{.cause = Cause::Busy, .device = usb}
                          << QStringList{usb, u"anderen Programm"_s};
    QTest::newRow("held by the input") << PortFailure{.cause = Cause::HeldByInput, .device = pty}
                                       << QStringList{pty, u"schon als Eingang"_s};
    QTest::newRow("held by the output") << PortFailure{.cause = Cause::HeldByOutput, .device = pty}
                                        << QStringList{pty, u"schon als Ausgang"_s};
    QTest::newRow("not serial") << PortFailure{.cause = Cause::NotSerial, .device = u"/dev/null"_s}
                                << QStringList{u"/dev/null ist keine serielle"_s};
    QTest::newRow("data bits 9") << PortFailure{.cause = Cause::OutOfRange,
                                                .setting = PortSetting::DataBits,
                                                .value = u"9"_s}
                                 << QStringList{u"\u201eDatenbit\u201c 9"_s, u"5 bis 8"_s};
    QTest::newRow("stop bits 3") << PortFailure{.cause = Cause::OutOfRange,
                                                .setting = PortSetting::StopBits,
                                                .value = u"3"_s}
                                 << QStringList{u"\u201eStopbit\u201c 3"_s, u"1 oder 2"_s};
    QTest::newRow("baud 0") << PortFailure{.cause = Cause::OutOfRange,
                                           .setting = PortSetting::BaudRate,
                                           .value = u"0"_s}
                            << QStringList{u"\u201e\u00dc-rate\u201c 0"_s};
    QTest::newRow("device refuses 7 data bits") << PortFailure{.cause = Cause::SettingRefused,
                                                               .device = pty,
                                                               .setting = PortSetting::DataBits,
                                                               .value = u"7"_s}
                                                << QStringList{pty, u"\u201eDatenbit\u201c 7"_s};
    QTest::newRow("system's own reason") << PortFailure{.cause = Cause::Other,
                                                        .device = u"/dev/ttyS1"_s,
                                                        .systemText = u"Input/output error"_s}
                                         << QStringList{u"/dev/ttyS1"_s, u"Input/output error"_s};
    QTest::newRow("bad network address")
        << PortFailure{.cause = Cause::BadAddress, .device = u"tcp://host"_s}
        << QStringList{u"\u201etcp://host\u201c ist keine g\u00fcltige Netzadresse"_s,
                       u"1 bis 65535"_s};
    // Typed text is shown as typed, never taken for a place holder.
    QTest::newRow("percent signs in what was typed")
        << PortFailure{.cause = Cause::SettingRefused,
                       .device = u"/dev/%1"_s,
                       .setting = PortSetting::BaudRate,
                       .value = u"%2"_s}
        << QStringList{u"/dev/%1 "_s, u"\u201e\u00dc-rate\u201c %2"_s};
}

void tst_PortName::failureDetail() {
    QFETCH(PortFailure, failure);
    QFETCH(QStringList, says);
    const QString detail = portFailureDetail(failure);
    QCOMPARE(detail.isEmpty(), says.isEmpty());
    for (const QString &part : says)
        QVERIFY2(detail.contains(part), qPrintable(detail));
}

QTEST_GUILESS_MAIN(tst_PortName)
#include "tst_portname.moc"
