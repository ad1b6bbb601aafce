#include "logic/netaddress.h"

namespace {

constexpr QStringView kTcp = u"tcp://";
constexpr QStringView kUdp = u"udp://";
constexpr QStringView kGpsd = u"gpsd://";

std::optional<quint16> portNumber(QStringView text) {
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const int n = text.toInt();
    if (n > 65535)
        return std::nullopt;
    return quint16(n);
}

// HOST:PORT, with an IPv6 host in brackets. The host may be empty.
std::optional<NetAddress> hostAndPort(QStringView rest) {
    NetAddress address;
    QStringView portText;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0 || rest.sliced(close + 1).size() < 1 || rest[close + 1] != u':')
            return std::nullopt;
        address.host = rest.sliced(1, close - 1).toString();
        if (address.host.isEmpty())
            return std::nullopt;
        portText = rest.sliced(close + 2);
    } else {
        const qsizetype colon = rest.indexOf(u':');
        if (colon < 0)
            return std::nullopt;
        address.host = rest.first(colon).toString();
        portText = rest.sliced(colon + 1);
    }
    for (const QChar c : std::as_const(address.host)) {
        if (c.isSpace() || c == u'/' || c == u'[' || c == u']' || c == u'@')
            return std::nullopt;
    }
    const std::optional<quint16> port = portNumber(portText);
    if (!port)
        return std::nullopt;
    address.port = *port;
    return address;
}

// [HOST][:PORT][/DEVICE] after gpsd://; the slash belongs to the device's path.
std::optional<NetAddress> gpsdAddress(QStringView rest) {
    NetAddress address{.protocol = NetAddress::Protocol::Gpsd,
                       .host = QStringLiteral("localhost"),
                       .port = kGpsdPort};
    const qsizetype hostEnd = rest.startsWith(u'[') ? rest.indexOf(u']') + 1 : 0;
    if (rest.startsWith(u'[') && hostEnd == 0)
        return std::nullopt;
    const qsizetype slash = rest.indexOf(u'/', hostEnd);
    const QStringView hostPort = slash < 0 ? rest : rest.first(slash);
    if (slash >= 0 && slash + 1 < rest.size())
        address.device = rest.sliced(slash).toString();
    if (hostPort.isEmpty())
        return address;
    const bool hasPort = hostPort.sliced(hostEnd).contains(u':');
    const std::optional<NetAddress> given = hostAndPort(
        hasPort ? hostPort.toString() : hostPort.toString() + u':' + QString::number(kGpsdPort));
    if (!given || given->port == 0)
        return std::nullopt;
    if (!given->host.isEmpty())
        address.host = given->host;
    address.port = given->port;
    return address;
}

QString hostPort(const NetAddress &a) {
    const QString host = a.host.contains(u':') ? u'[' + a.host + u']' : a.host;
    return host + u':' + QString::number(a.port);
}

// Where a port that waits is reached.
QString waitsAt(const NetAddress &a) {
    if (a.host.isEmpty())
        return QStringLiteral("Port %1 (alle Schnittstellen)").arg(a.port);
    return hostPort(a);
}

} // namespace

std::optional<NetAddress::Protocol> networkProtocolOf(QStringView text) {
    if (text.startsWith(kTcp, Qt::CaseInsensitive))
        return NetAddress::Protocol::Tcp;
    if (text.startsWith(kUdp, Qt::CaseInsensitive))
        return NetAddress::Protocol::Udp;
    if (text.startsWith(kGpsd, Qt::CaseInsensitive))
        return NetAddress::Protocol::Gpsd;
    return std::nullopt;
}

std::optional<NetAddress> parseNetAddress(QStringView text, PortDirection direction) {
    const std::optional<NetAddress::Protocol> protocol = networkProtocolOf(text);
    if (!protocol)
        return std::nullopt;
    if (*protocol == NetAddress::Protocol::Gpsd) {
        if (direction != PortDirection::Input)
            return std::nullopt;
        return gpsdAddress(text.sliced(kGpsd.size()));
    }
    std::optional<NetAddress> address = hostAndPort(text.sliced(kTcp.size()));
    if (!address)
        return std::nullopt;
    address->protocol = *protocol;
    const bool reaches =
        (address->protocol == NetAddress::Protocol::Tcp) == (direction == PortDirection::Input);
    if (reaches && (address->host.isEmpty() || address->port == 0))
        return std::nullopt;
    return address;
}

QString netToolTip(QStringView text, PortDirection direction) {
    const std::optional<NetAddress> a = parseNetAddress(text, direction);
    if (!a)
        return QStringLiteral("Keine g\u00fcltige Netzadresse");
    const bool input = direction == PortDirection::Input;
    if (a->protocol == NetAddress::Protocol::Gpsd) {
        const QString tip = QStringLiteral("Liest, was gpsd an %1 weitergibt").arg(hostPort(*a));
        return a->device.isEmpty() ? tip : tip + QStringLiteral(", vom Ger\u00e4t ") + a->device;
    }
    if (a->protocol == NetAddress::Protocol::Tcp) {
        if (input)
            return QStringLiteral("Verbindet zu ") + hostPort(*a);
        return QStringLiteral("Wartet auf Verbindungen an ") + waitsAt(*a);
    }
    if (input)
        return QStringLiteral("Empf\u00e4ngt UDP an ") + waitsAt(*a);
    return QStringLiteral("Sendet UDP an ") + hostPort(*a);
}

QString netAddressText(const NetAddress &address) {
    switch (address.protocol) {
    case NetAddress::Protocol::Tcp:
        return kTcp.toString() + hostPort(address);
    case NetAddress::Protocol::Udp:
        return kUdp.toString() + hostPort(address);
    case NetAddress::Protocol::Gpsd:
        break;
    }
    return kGpsd.toString() + hostPort(address) + address.device;
}
