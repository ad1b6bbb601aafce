// Arbitrary texts in the input and output port lists (and --input/--output of the headless run):
// the device that activating the port opens, the tooltip that names it, and the network address
// a tcp:// or udp:// text asks for. The input bytes are the text, read as UTF-8 and as Latin-1.
// Every property is checked against a plain restatement of the rule, not against the code.
//
// The rules:
//  1. The session opens the port name \\.\COM followed by the text as typed. Here that opens
//     a. for a text starting with tcp://, udp:// or gpsd:// (letters of either case): the text
//        itself,
//        well formed or not;
//     b. for a whole number n (only the digits 0-9: no sign and no blank, so " 3" and "+3" are
//        names; leading zeros allowed) from 1 to 2147483647: the value of PELORA_COM<n> if that
//        is set and not empty (a network text or a path as it stands, any other name under
//        /dev/), else /dev/ttyS<n-1>;
//     c. for "0", "00", a number beyond 32 bits or a signed one: a name as in d;
//     d. for a text starting with "/": that path; for any other text, the empty one included,
//        /dev/ followed by the text.
//     The device is thus a network text or an absolute path, never one relative to the
//     working folder.
//  2. With Windows naming the port name stays as it is, except that a network text is the device.
//  3. A port name without the prefix is a device already and stays as it stands, so a device
//     mapped once more is unchanged. A text that itself begins with the prefix ("\\.\COM4") is
//     read after the one prefix the session glues on: a name under /dev/.
//  4. The environment is asked for PELORA_COM<n> of the text's own number n, and for nothing else.
//  5. A network text parses, in either direction, to nothing or to an address whose protocol is
//     its scheme's. It parses exactly when it is SCHEME://HOST:PORT, PORT one to five digits
//     up to 65535, HOST either "[" ANY "]" (ANY not empty, no "]") or a text without ":", "["
//     and "]", and HOST without white space, "/", "[", "]" and "@". A port that reaches a peer
//     (TCP input, UDP output) also needs a host and a port from 1; one that waits (TCP output,
//     UDP input) takes any host or none, and port 0. gpsd:// parses on the input only, exactly
//     when it is gpsd://HOST[:PORT][/DEVICE] with HOST as above or empty (then "localhost"), PORT
//     from 1 (2947 when left out) and DEVICE anything, "/" alone meaning none. The address
//     printed back, the host in brackets when it holds a ":", parses to the same.
//  6. The tooltip is empty exactly for the empty text and holds a NUL only where the text does.
//     For a network text it is "Keine gültige Netzadresse" exactly when the address does not
//     parse in that list's direction, and otherwise names the address's host and port (and
//     gpsd's device, last); for any
//     other text it is "Öffnet " followed by the device of rule 1.
//  7. Nothing crashes, hangs or draws a sanitizer report.
#include "logic/netaddress.h"
#include "logic/portname.h"
#include "require.h"

#include <QHash>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The numbered ports the environment names, in the process environment as well as in the lookup
// handed in: a network receiver, a path, a name under /dev/, an empty value (as good as unset)
// and a network text in capitals.
const QHash<QString, QString> &numberedPorts() {
    static const QHash<QString, QString> ports{{u"PELORA_COM6"_s, u"tcp://127.0.0.1:10110"_s},
                                               {u"PELORA_COM7"_s, u"/dev/pts/7"_s},
                                               {u"PELORA_COM8"_s, u"ttyUSB8"_s},
                                               {u"PELORA_COM9"_s, QString()},
                                               {u"PELORA_COM10"_s, u"UDP://:5"_s}};
    return ports;
}

char16_t asciiLower(QChar c) {
    const char16_t u = c.unicode();
    return u >= u'A' && u <= u'Z' ? char16_t(u - u'A' + u'a') : u;
}

// "tcp://" or "udp://" at the start, letters of either case.
std::optional<NetAddress::Protocol> scheme(QStringView text) {
    for (const auto &[name, protocol] : {std::pair{u"tcp://"_s, NetAddress::Protocol::Tcp},
                                         std::pair{u"udp://"_s, NetAddress::Protocol::Udp},
                                         std::pair{u"gpsd://"_s, NetAddress::Protocol::Gpsd}}) {
        if (text.size() < name.size())
            continue;
        bool same = true;
        for (qsizetype i = 0; i < name.size() && same; ++i)
            same = asciiLower(text[i]) == name[i].unicode();
        if (same)
            return protocol;
    }
    return std::nullopt;
}

bool isNetwork(QStringView text) {
    return scheme(text).has_value();
}

// A whole number from 1 to the largest 32-bit one, written in plain digits only.
std::optional<qint64> wholeNumber(QStringView text) {
    if (text.isEmpty())
        return std::nullopt;
    qint64 n = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        n = n * 10 + (c.unicode() - u'0');
        if (n > std::numeric_limits<qint32>::max())
            return std::nullopt;
    }
    if (n < 1)
        return std::nullopt;
    return n;
}

QString pathOrUnderDev(const QString &name) {
    return name.startsWith(u'/') ? name : u"/dev/"_s + name;
}

// Rule 1: the device the session opens for a list text.
QString expectedDevice(const QString &text) {
    if (isNetwork(text))
        return text;
    if (const std::optional<qint64> n = wholeNumber(text)) {
        const QString chosen = numberedPorts().value(u"PELORA_COM"_s + QString::number(*n));
        if (isNetwork(chosen))
            return chosen;
        if (!chosen.isEmpty())
            return pathOrUnderDev(chosen);
        return u"/dev/ttyS"_s + QString::number(*n - 1);
    }
    return pathOrUnderDev(text);
}

bool hostAllowed(const QString &host) {
    for (const QChar c : host) {
        if (c.isSpace() || c == u'/' || c == u'[' || c == u']' || c == u'@')
            return false;
    }
    return true;
}

// Rule 5 for gpsd://, on the input.
std::optional<NetAddress> expectedGpsdAddress(const QString &text) {
    static const QRegularExpression address(
        QRegularExpression::anchoredPattern(
            uR"((?:\[([^\]]+)\]|([^:\[\]/]*))(?::([0-9]{1,5}))?(/.*)?)"_s),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = address.match(text.sliced(7));
    if (!match.hasMatch())
        return std::nullopt;
    QString host = match.hasCaptured(1) ? match.captured(1) : match.captured(2);
    if (!hostAllowed(host))
        return std::nullopt;
    const int port = match.hasCaptured(3) ? match.captured(3).toInt() : 2947;
    if (port < 1 || port > 65535)
        return std::nullopt;
    const QString device = match.captured(4) == u"/"_s ? QString() : match.captured(4);
    return NetAddress{.protocol = NetAddress::Protocol::Gpsd,
                      .host = host.isEmpty() ? u"localhost"_s : host,
                      .port = quint16(port),
                      .device = device};
}

// Rule 5, told as a pattern and a list of characters rather than the parser's steps.
std::optional<NetAddress> expectedAddress(const QString &text, PortDirection direction) {
    const std::optional<NetAddress::Protocol> protocol = scheme(text);
    if (!protocol)
        return std::nullopt;
    if (*protocol == NetAddress::Protocol::Gpsd) {
        if (direction != PortDirection::Input)
            return std::nullopt;
        return expectedGpsdAddress(text);
    }
    static const QRegularExpression hostPort(
        QRegularExpression::anchoredPattern(uR"((?:\[([^\]]+)\]|([^:\[\]]*)):([0-9]{1,5}))"_s));
    const QRegularExpressionMatch match = hostPort.match(text.sliced(6));
    if (!match.hasMatch())
        return std::nullopt;
    const QString host = match.hasCaptured(1) ? match.captured(1) : match.captured(2);
    if (!hostAllowed(host))
        return std::nullopt;
    const int port = match.captured(3).toInt();
    if (port > 65535)
        return std::nullopt;
    const bool reaches =
        (*protocol == NetAddress::Protocol::Tcp) == (direction == PortDirection::Input);
    if (reaches && (host.isEmpty() || port == 0))
        return std::nullopt;
    return NetAddress{.protocol = *protocol, .host = host, .port = quint16(port)};
}

bool same(const NetAddress &a, const NetAddress &b) {
    return a.protocol == b.protocol && a.host == b.host && a.port == b.port && a.device == b.device;
}

QString hostAndPort(const NetAddress &a) {
    const QString host = a.host.contains(u':') ? u'[' + a.host + u']' : a.host;
    return host + u':' + QString::number(a.port);
}

QString printed(const NetAddress &a) {
    switch (a.protocol) {
    case NetAddress::Protocol::Tcp:
        return u"tcp://"_s + hostAndPort(a);
    case NetAddress::Protocol::Udp:
        return u"udp://"_s + hostAndPort(a);
    case NetAddress::Protocol::Gpsd:
        break;
    }
    return u"gpsd://"_s + hostAndPort(a) + a.device;
}

void checkAddress(const QString &text, PortDirection direction) {
    const std::optional<NetAddress> parsed = parseNetAddress(text, direction);
    const std::optional<NetAddress> expected = expectedAddress(text, direction);
    require(parsed.has_value() == expected.has_value());
    if (!parsed)
        return;
    require(same(*parsed, *expected));
    const std::optional<NetAddress> again = parseNetAddress(printed(*parsed), direction);
    require(again && same(*again, *parsed));
    require(netAddressText(*parsed) == printed(*parsed));
}

void checkToolTip(const QString &text, const QString &tip, PortDirection direction) {
    require(tip.isEmpty() == text.isEmpty());
    require(!tip.contains(QChar(0)) || text.contains(QChar(0)));
    if (text.isEmpty())
        return;
    if (!isNetwork(text)) {
        require(tip == u"\u00d6ffnet "_s + expectedDevice(text));
        return;
    }
    const std::optional<NetAddress> address = expectedAddress(text, direction);
    require((tip == u"Keine g\u00fcltige Netzadresse"_s) == !address);
    if (!address)
        return;
    if (address->host.isEmpty())
        require(tip.contains(u"Port "_s + QString::number(address->port)));
    else if (address->device.isEmpty())
        require(tip.contains(hostAndPort(*address)));
    else
        require(tip.contains(hostAndPort(*address)) && tip.endsWith(address->device));
}

void checkText(const QString &text) {
    const QString portName = kComPrefix.toString() + text;
    const QString expected = expectedDevice(text);
    require(isNetwork(expected) || expected.startsWith(u'/'));

    // Rules 1 and 4, with the environment handed in.
    QStringList asked;
    const EnvironmentLookup lookup = [&asked](const QString &name) {
        asked.append(name);
        return numberedPorts().value(name);
    };
    const QString device = deviceOfPortName(portName, DeviceNaming::Unix, lookup);
    require(device == expected);
    const std::optional<qint64> n = isNetwork(text) ? std::nullopt : wholeNumber(text);
    require(asked == (n ? QStringList{u"PELORA_COM"_s + QString::number(*n)} : QStringList()));

    // The same through the process environment, which the target fills at start.
    require(hostDeviceNaming() == DeviceNaming::Unix);
    require(deviceOfPortName(portName) == expected);

    // Rule 2: Windows naming leaves the environment alone.
    asked.clear();
    require(deviceOfPortName(portName, DeviceNaming::Windows, lookup) ==
            (isNetwork(text) ? text : portName));
    require(asked.isEmpty());

    // Rule 3.
    for (const DeviceNaming naming : {DeviceNaming::Unix, DeviceNaming::Windows}) {
        const QString once = deviceOfPortName(portName, naming, lookup);
        require(deviceOfPortName(once, naming, lookup) == once);
        // Given as it stands, a text is a port name only when it brings the prefix itself.
        const QString bare = deviceOfPortName(text, naming, lookup);
        if (!text.startsWith(kComPrefix))
            require(bare == text);
        else if (naming == DeviceNaming::Unix)
            require(bare == expectedDevice(text.sliced(kComPrefix.size())));
        else
            require(bare == (isNetwork(text.sliced(kComPrefix.size()))
                                 ? text.sliced(kComPrefix.size())
                                 : text));
    }
    if (text.startsWith(kComPrefix))
        require(expected == u"/dev/"_s + text);

    // Rules 5 and 6, in the direction of either list.
    for (const PortDirection direction : {PortDirection::Input, PortDirection::Output}) {
        checkAddress(text, direction);
        checkToolTip(text, portToolTip(text, DeviceNaming::Unix, lookup, direction), direction);
        checkToolTip(text, portToolTip(text, direction), direction);
        // The device a number's variable names is parsed as the port then parses it.
        if (isNetwork(device))
            checkAddress(device, direction);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Only the numbered ports above are named, whatever the environment the run started in.
    const QStringList names = QProcessEnvironment::systemEnvironment().keys();
    for (const QString &name : names) {
        if (name.startsWith(u"PELORA_COM"_s))
            qunsetenv(qPrintable(name));
    }
    for (auto it = numberedPorts().cbegin(); it != numberedPorts().cend(); ++it)
        qputenv(qPrintable(it.key()), it.value().toUtf8());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const char *bytes = reinterpret_cast<const char *>(data);
    const qsizetype length = static_cast<qsizetype>(size);
    // Typed or pasted into the list, or given on the command line in a UTF-8 locale.
    checkText(QString::fromUtf8(bytes, length));
    // One character per byte, so that every code up to U+00FF turns up.
    checkText(QString::fromLatin1(bytes, length));
    return 0;
}
