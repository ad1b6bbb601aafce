#pragma once

#include <QString>
#include <QStringList>

#include <array>

// Display texts cut from sentence fields. Nothing is converted to a number: the receiver's text
// is cut by character positions and joined with fixed pieces, so what is shown is what was sent.

// "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"
//   field 1 time hhmmss(.ss) -> "12:35:19"       field 2/3 latitude  -> "48 °  07.038 ' N"
//   field 4/5 longitude      -> "011 °  31.000 ' E"   field 9 altitude -> "545.4 m"
struct GgaTexts {
    QString altitude;  // Label23
    QString latitude;  // Label21
    QString longitude; // Label22
    QString time;      // Label20
};
GgaTexts textsFromGga(const QStringList &fields);

// "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39"
//   fields 3..14 PRN of the satellites used -> Label12(0..11)   field 15 PDOP -> Label13
struct GsaTexts {
    std::array<QString, 12> prn;
    QString pdop;
};
GsaTexts textsFromGsa(const QStringList &fields);

// "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A"
//   field 7 speed in knots -> Label26   field 8 course -> Label25   field 9 ddmmyy -> "23.03.94"
struct RmcTexts {
    QString course; // Label25
    QString speed;  // Label26
    QString date;   // Label19
};
RmcTexts textsFromRmc(const QStringList &fields);

// Space, degree sign, space, space: the piece between degrees and minutes.
inline const QString kDegreePiece = QStringLiteral(" \u00B0  ");
