#pragma once

#include <QString>

// The web-map addresses built from the main window's latitude and longitude fields. The field
// texts go in as they are shown, only without blanks; nothing is escaped here.

// The field text without any blank, inside as well as at the ends: "48 °  07.038 ' N" gives
// "48°07.038'N".
QString withoutBlanks(const QString &fieldText);

// The embeddable map: base, latitude, ",", longitude, "&output=embed&z=", zoom.
QString mapAddress(const QString &latitudeField, const QString &longitudeField,
                   const QString &zoom);

// The place page: base, latitude, one blank, longitude.
QString placeLink(const QString &latitudeField, const QString &longitudeField);
