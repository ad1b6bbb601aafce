#include "logic/mappages.h"

namespace {

QString paragraph(const QString &html) {
    return QStringLiteral("<p>") + html + QStringLiteral("</p>");
}

// White space kept, so that "48 °  07.038 ' N" reads as in the main window.
QString fieldText(const QString &text) {
    return QStringLiteral("<span style=\"white-space: pre\">") + text.toHtmlEscaped() +
           QStringLiteral("</span>");
}

QString code(const QString &text) {
    return QStringLiteral("<code>") + text.toHtmlEscaped() + QStringLiteral("</code>");
}

const QString kStillWorking = QStringLiteral(
    "Empfang, Anzeige und Weiterleitung der Daten arbeiten davon unabhängig wie gewohnt.");

} // namespace

QString unreachableMapPage(const QString &latitudeField, const QString &longitudeField) {
    return QStringLiteral("<!DOCTYPE html><html lang=\"de\"><head><meta charset=\"utf-8\">"
                          "<title>Karte</title></head>"
                          "<body style=\"font-family: sans-serif; margin: 24px\">"
                          "<h2>Kartendienst nicht erreichbar</h2>") +
           paragraph(QStringLiteral("Die Karte konnte nicht geladen werden: keine "
                                    "Netzverbindung, der Name des Kartendienstes ist nicht "
                                    "auflösbar, der Dienst meldet einen Fehler oder antwortet "
                                    "nicht rechtzeitig.")) +
           paragraph(QStringLiteral("Breite: ") + fieldText(latitudeField) +
                     QStringLiteral("<br>Länge: ") + fieldText(longitudeField)) +
           paragraph(QStringLiteral("Die nächste Änderung der Position oder des Zooms lädt die "
                                    "Karte erneut.")) +
           QStringLiteral("</body></html>");
}

QString noMapNotice(WebEngineObstacle obstacle, const QStringList &searchedPaths) {
    QString html = QStringLiteral("<h2>Keine Karte</h2>");
    switch (obstacle) {
    case WebEngineObstacle::None:
        return QString();
    case WebEngineObstacle::RootWithSandbox:
        html += paragraph(QStringLiteral(
                    "Pelora läuft als Administrator (root). Die Web-Komponente, die die Karte "
                    "zeigt, startet mit Administratorrechten nur, wenn ihre Sandbox "
                    "ausgeschaltet ist; deshalb ist sie in diesem Lauf nicht gestartet.")) +
                paragraph(QStringLiteral("Für die Karte Pelora als normaler Benutzer starten, "
                                         "oder als root mit ausgeschalteter Sandbox:<br>") +
                          code(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX=1 pelora"))) +
                paragraph(QStringLiteral(
                    "Das geschieht auf eigene Gefahr: ohne Sandbox schützt nichts das System "
                    "vor Fehlern der Web-Komponente beim Laden fremder Seiten."));
        break;
    case WebEngineObstacle::ProcessMissing: {
        QStringList places;
        for (const QString &path : searchedPaths)
            places << code(path);
        html +=
            paragraph(QStringLiteral("Das Hilfsprogramm der Web-Komponente, die die Karte "
                                     "zeigt, fehlt. Gesucht wurde:<br>") +
                      places.join(QStringLiteral("<br>"))) +
            paragraph(QStringLiteral("Für die Karte Qt WebEngine vollständig installieren "
                                     "(Debian: Paket ") +
                      code(QStringLiteral("libqt6webenginecore6-bin")) + QStringLiteral(") oder ") +
                      code(QStringLiteral("QTWEBENGINEPROCESS_PATH")) +
                      QStringLiteral(" auf das Programm setzen."));
        break;
    }
    }
    return html + paragraph(kStillWorking);
}
