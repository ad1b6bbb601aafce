#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Which way a port's bytes go: the input receives, the output passes on what the input got.
enum class PortDirection { Input, Output };

// A network port as a port list names it: tcp://HOST:PORT or udp://HOST:PORT, where an empty
// host means all interfaces; or gpsd://HOST:PORT/DEVICE, a gpsd that relays a receiver's
// sentences.
struct NetAddress {
    enum class Protocol { Tcp, Udp, Gpsd };
    Protocol protocol = Protocol::Tcp;
    QString host{};
    quint16 port = 0;
    // The one device gpsd is asked for ("/dev/ttyUSB0"); empty: whichever it has.
    QString device{};
};

// Where gpsd listens unless told otherwise.
inline constexpr quint16 kGpsdPort = 2947;

// The protocol a text asks for by its scheme (tcp://, udp://, gpsd://, letters of either case),
// well formed or not; nothing for a text that names no network port.
std::optional<NetAddress::Protocol> networkProtocolOf(QStringView text);
inline bool isNetworkPortText(QStringView text) {
    return networkProtocolOf(text).has_value();
}

// The address a port of that direction can use: the TCP input and the UDP output need a host to
// reach and a port from 1 to 65535; the TCP output and the UDP input wait at an address of their
// own, any host or none, and port 0 lets the system choose. gpsd is read only, on the input:
// gpsd://[HOST][:PORT][/DEVICE], the host localhost and the port 2947 where left out, DEVICE
// everything from the slash on ("gpsd://" alone is gpsd on this machine, any device). Nothing
// for anything else.
std::optional<NetAddress> parseNetAddress(QStringView text, PortDirection direction);

// The text that parses to the address again.
QString netAddressText(const NetAddress &address);

// What a port list's tooltip says a network text does.
QString netToolTip(QStringView text, PortDirection direction);
