#include "logic/portname.h"

#include <QtGlobal>

namespace {

QString underDev(QStringView name) {
    if (name.startsWith(u'/'))
        return name.toString();
    return QStringLiteral("/dev/") + name.toString();
}

// Only plain decimal digits name a numbered port; "+3" or " 3" are names like any other.
std::optional<int> portNumber(QStringView text) {
    if (text.isEmpty())
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1)
        return std::nullopt;
    return n;
}

QString processEnvironment(const QString &name) {
    return qEnvironmentVariable(qPrintable(name));
}

} // namespace

DeviceNaming hostDeviceNaming() {
#ifdef Q_OS_WIN
    return DeviceNaming::Windows;
#else
    return DeviceNaming::Unix;
#endif
}

QString portNameOf(QStringView listText) {
    return kComPrefix.toString() + listText.toString();
}

std::optional<QStringView> listTextOf(QStringView portName) {
    if (!portName.startsWith(kComPrefix))
        return std::nullopt;
    return portName.sliced(kComPrefix.size());
}

QString deviceOfListText(QStringView rest, DeviceNaming naming,
                         const EnvironmentLookup &environment) {
    if (isNetworkPortText(rest))
        return rest.toString();
    if (naming == DeviceNaming::Windows)
        return portNameOf(rest);
    if (const std::optional<int> n = portNumber(rest)) {
        const QString chosen = environment(QStringLiteral("PELORA_COM%1").arg(*n));
        // The variable may name a network receiver as well as a device.
        if (isNetworkPortText(chosen))
            return chosen;
        if (!chosen.isEmpty())
            return underDev(chosen);
        return QStringLiteral("/dev/ttyS%1").arg(*n - 1);
    }
    return underDev(rest);
}

QString deviceOfPortName(QStringView portName, DeviceNaming naming,
                         const EnvironmentLookup &environment) {
    const std::optional<QStringView> listText = listTextOf(portName);
    return listText ? deviceOfListText(*listText, naming, environment) : portName.toString();
}

QString deviceOfPortName(QStringView portName) {
    return deviceOfPortName(portName, hostDeviceNaming(), processEnvironment);
}

QString portToolTip(QStringView listText, DeviceNaming naming, const EnvironmentLookup &environment,
                    PortDirection direction) {
    if (listText.isEmpty())
        return QString();
    if (isNetworkPortText(listText))
        return netToolTip(listText, direction);
    return QStringLiteral("\u00d6ffnet ") + deviceOfListText(listText, naming, environment);
}

QString portToolTip(QStringView listText, PortDirection direction) {
    return portToolTip(listText, hostDeviceNaming(), processEnvironment, direction);
}

std::optional<qint32> portSettingNumber(QStringView text) {
    bool ok = false;
    const qint32 value = text.trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}
