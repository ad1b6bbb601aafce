#pragma once

// Example sentences the tests share, each with a correct checksum and the standard line end.
#include <QByteArray>
#include <QString>

namespace sentences {

// Munich at 12:35:19 UTC: "48 °  07.038 ' N", "011 °  31.000 ' E", "545.4 m".
inline const QString kGga =
    QStringLiteral("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
// 23 March 1994, 22.4 knots on course 84.4.
inline const QString kRmc =
    QStringLiteral("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n");
// No fix: every satellite slot and the PDOP empty.
inline const QString kGsaNoFix = QStringLiteral("$GPGSA,A,1,,,,,,,,,,,,,,,*1E\r\n");
// A 3D fix on five satellites, PDOP 2.5.
inline const QString kGsa = QStringLiteral("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n");
// One epoch of the three decoded sentences, as bytes on the line.
inline const QByteArray kSentences = (kGsa + kRmc + kGga).toLatin1();

} // namespace sentences
