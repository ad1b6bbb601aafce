#include "logic/mappages.h"

namespace {

// White space kept, so that "48 °  07.038 ' N" reads as in the main window.
QString fieldText(const QString &text) {
    return QStringLiteral("<span style=\"white-space: pre\">") + text.toHtmlEscaped() +
           QStringLiteral("</span>");
}

QString code(const QString &text) {
    return QStringLiteral("<code>") + text.toHtmlEscaped() + QStringLiteral("</code>");
}

QString codeList(const QStringList &texts) {
    QStringList codes;
    for (const QString &text : texts)
        codes << code(text);
    return codes.join(QStringLiteral(", "));
}

QString bold(const QString &text) {
    return QStringLiteral("<b>") + text + QStringLiteral("</b>");
}

} // namespace

QString unreachableNotice() {
    return bold(QStringLiteral("Kartendienst nicht erreichbar.")) +
           QStringLiteral(" Karte aus den mitgelieferten Umrissen; die nächste Änderung der "
                          "Position oder des Zooms versucht den Kartendienst erneut.");
}

QString noWebMapNotice(WebEngineObstacle obstacle, const QStringList &searchedPaths) {
    switch (obstacle) {
    case WebEngineObstacle::None:
        return QString();
    case WebEngineObstacle::RootWithSandbox:
        return bold(QStringLiteral("Keine Web-Karte:")) +
               QStringLiteral(" Pelora läuft als root, und die Web-Komponente startet so nur "
                              "mit ausgeschalteter Sandbox. Für die Web-Karte als normaler "
                              "Benutzer starten, oder auf eigene Gefahr (ohne Sandbox schützt "
                              "nichts vor Fehlern beim Laden fremder Seiten): ") +
               code(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX=1 pelora"));
    case WebEngineObstacle::LibraryMissing:
        return bold(QStringLiteral("Keine Web-Karte:")) +
               QStringLiteral(" Peloras Bibliothek für die Web-Karte fehlt (gesucht: ") +
               codeList(searchedPaths) +
               QStringLiteral("). Pelora neu installieren oder im Build-Ordner bauen.");
    case WebEngineObstacle::ProcessMissing:
        return bold(QStringLiteral("Keine Web-Karte:")) +
               QStringLiteral(" das Hilfsprogramm der Web-Komponente fehlt (gesucht: ") +
               codeList(searchedPaths) + QStringLiteral("). Für die Web-Karte das Debian-Paket ") +
               code(QStringLiteral("libqt6webenginecore6-bin")) +
               QStringLiteral(" installieren oder ") +
               code(QStringLiteral("QTWEBENGINEPROCESS_PATH")) +
               QStringLiteral(" auf das Programm setzen.");
    }
    return QString();
}

QString brokenWebViewNotice(const QString &error) {
    return bold(QStringLiteral("Keine Web-Karte:")) +
           QStringLiteral(" Peloras Bibliothek für die Web-Karte lässt sich nicht laden (") +
           code(error) + QStringLiteral("). Fehlt die Web-Komponente, das Debian-Paket ") +
           code(QStringLiteral("libqt6webenginewidgets6")) + QStringLiteral(" installieren.");
}

QString positionNotice(const QString &latitudeField, const QString &longitudeField) {
    return QStringLiteral("Breite: ") + fieldText(latitudeField) +
           QStringLiteral("&nbsp;&nbsp;&nbsp; Länge: ") + fieldText(longitudeField);
}
