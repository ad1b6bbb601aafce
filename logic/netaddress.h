#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Which way a port's bytes go: the input receives, the output passes on what the input got.
enum class PortDirection { Input, Output };

// A network port as a port list names it: tcp://HOST:PORT or udp://HOST:PORT. An empty host
// means all interfaces.
struct NetAddress {
    enum class Protocol { Tcp, Udp };
    Protocol protocol = Protocol::Tcp;
    QString host{};
    quint16 port = 0;
};

// Whether the text asks for a network port at all (it starts with tcp:// or udp://), well formed
// or not.
bool isNetworkPortText(QStringView text);

// The address a port of that direction can use: the TCP input and the UDP output need a host to
// reach and a port from 1 to 65535; the TCP output and the UDP input wait at an address of their
// own, any host or none, and port 0 lets the system choose. Nothing for anything else.
std::optional<NetAddress> parseNetAddress(QStringView text, PortDirection direction);

// What a port list's tooltip says a network text does.
QString netToolTip(QStringView text, PortDirection direction);
