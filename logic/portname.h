#pragma once

#include "logic/netaddress.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

// What the session writes into a port's name: two backslashes, ".", a backslash and "COM",
// followed by the port list's text.
inline constexpr QStringView kComPrefix = u"\\\\.\\COM";

enum class DeviceNaming { Windows, Unix };

// How serial devices are named on the system the program was built for.
DeviceNaming hostDeviceNaming();

// An environment variable's value, empty when it is not set.
using EnvironmentLookup = std::function<QString(const QString &name)>;

// The port name the session gives a port for a list's text, and the list's text in a port name
// (nothing when the name lacks the prefix: it names a device itself).
QString portNameOf(QStringView listText);
std::optional<QStringView> listTextOf(QStringView portName);

// The device a list's text means, the same as its port name's.
QString deviceOfListText(QStringView listText, DeviceNaming naming,
                         const EnvironmentLookup &environment);

// The device that opening a port name means. On Windows the name stays as it is. Elsewhere the
// text after the prefix decides: a whole number n is the device named by PELORA_COM<n> if set,
// else /dev/ttyS<n-1>; a text starting with "/" is a path used as it stands; any other text is
// a name under /dev/. A network address (tcp://..., udp://...) is the device itself, on any system.
QString deviceOfPortName(QStringView portName, DeviceNaming naming,
                         const EnvironmentLookup &environment);
QString deviceOfPortName(QStringView portName);

// What a port list's tooltip says about its current text: which device activating the port
// opens, or what a network address does on a port of that direction. Empty for an empty text.
QString portToolTip(QStringView listText, DeviceNaming naming, const EnvironmentLookup &environment,
                    PortDirection direction = PortDirection::Input);
QString portToolTip(QStringView listText, PortDirection direction = PortDirection::Input);

// A port list's text as a line setting: surrounding blanks ignored, a 32-bit signed whole number.
// Nothing when the text is no such number.
std::optional<qint32> portSettingNumber(QStringView text);
