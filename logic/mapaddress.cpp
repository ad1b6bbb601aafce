#include "logic/mapaddress.h"

namespace {
const QString kMapBase = QStringLiteral("http://maps.google.com/maps?q=");
const QString kPlaceBase = QStringLiteral("https://www.google.com/maps/place/");
} // namespace

QString withoutBlanks(const QString &fieldText) {
    QString text = fieldText;
    return text.remove(u' ');
}

QString mapAddress(const QString &latitudeField, const QString &longitudeField,
                   const QString &zoom) {
    return kMapBase + withoutBlanks(latitudeField) + u',' + withoutBlanks(longitudeField) +
           QStringLiteral("&output=embed&z=") + zoom;
}

QString placeLink(const QString &latitudeField, const QString &longitudeField) {
    return kPlaceBase + withoutBlanks(latitudeField) + u' ' + withoutBlanks(longitudeField);
}
