#include "logic/portfailure.h"

namespace {

QString caption(PortSetting setting) {
    switch (setting) {
    case PortSetting::Name:
        return QStringLiteral("COM Port");
    case PortSetting::BaudRate:
        return QStringLiteral("\u00dc-rate");
    case PortSetting::DataBits:
        return QStringLiteral("Datenbit");
    case PortSetting::Parity:
        return QStringLiteral("Parit\u00e4t");
    case PortSetting::StopBits:
        return QStringLiteral("Stopbit");
    }
    return QString();
}

// What a line can do at all, as the lists offer it.
QString possible(PortSetting setting) {
    switch (setting) {
    case PortSetting::BaudRate:
        return QStringLiteral("mehr als 0");
    case PortSetting::DataBits:
        return QStringLiteral("5 bis 8");
    case PortSetting::StopBits:
        return QStringLiteral("1 oder 2");
    case PortSetting::Name:
    case PortSetting::Parity:
        break;
    }
    return QString();
}

QString quoted(const QString &text) {
    return u'\u201e' + text + u'\u201c';
}

} // namespace

QString portFailureDetail(const PortFailure &f) {
    using Cause = PortFailure::Cause;
    const QString list = quoted(caption(f.setting));
    switch (f.cause) {
    case Cause::None:
        return QString();
    case Cause::NotANumber:
        if (f.value.trimmed().isEmpty())
            return QStringLiteral("Die Liste %1 ist leer.").arg(list);
        return QStringLiteral("In der Liste %1 steht %2, keine ganze Zahl.")
            .arg(list, quoted(f.value));
    case Cause::EmptyName:
        return QStringLiteral("Kein Port angegeben: die Liste %1 ist leer.")
            .arg(quoted(caption(PortSetting::Name)));
    case Cause::NotFound:
        return QStringLiteral("Das Ger\u00e4t %1 gibt es nicht (nicht angeschlossen oder falscher "
                              "Name).")
            .arg(f.device);
    case Cause::NoPermission:
        // Serial adapters belong to this group on the usual Linux systems.
        return QStringLiteral("Keine Berechtigung f\u00fcr %1. Den Benutzer in die Gruppe %2 "
                              "aufnehmen und neu anmelden.")
            .arg(f.device, quoted(f.group.isEmpty() ? QStringLiteral("dialout") : f.group));
    case Cause::Busy:
        return QStringLiteral("%1 wird schon von einem anderen Programm benutzt.").arg(f.device);
    case Cause::HeldByInput:
        return QStringLiteral("%1 ist schon als Eingang ge\u00f6ffnet; Eingang und Ausgang "
                              "brauchen verschiedene Ger\u00e4te.")
            .arg(f.device);
    case Cause::HeldByOutput:
        return QStringLiteral("%1 ist schon als Ausgang ge\u00f6ffnet; Eingang und Ausgang "
                              "brauchen verschiedene Ger\u00e4te.")
            .arg(f.device);
    case Cause::NotSerial:
        return QStringLiteral("%1 ist keine serielle Schnittstelle.").arg(f.device);
    case Cause::OutOfRange: {
        const QString range = possible(f.setting);
        if (range.isEmpty())
            return QStringLiteral("%1 %2 ist nicht m\u00f6glich.").arg(list, f.value);
        return QStringLiteral("%1 %2 ist nicht m\u00f6glich (%3).").arg(list, f.value, range);
    }
    case Cause::SettingRefused:
        return QStringLiteral("%1 nimmt %2 %3 nicht an.").arg(f.device, list, f.value);
    case Cause::BadAddress:
        return QStringLiteral("%1 ist keine g\u00fcltige Netzadresse. Der Eingang nimmt "
                              "tcp://HOST:PORT, udp://:PORT oder gpsd://HOST:PORT/GER\u00c4T, "
                              "der Ausgang tcp://:PORT oder udp://HOST:PORT; PORT ist eine Zahl "
                              "von 1 bis 65535.")
            .arg(quoted(f.device));
    case Cause::Other:
        return QStringLiteral("%1 l\u00e4sst sich nicht \u00f6ffnen: %2")
            .arg(f.device, f.systemText);
    }
    return QString();
}
