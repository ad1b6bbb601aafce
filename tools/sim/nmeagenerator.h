#pragma once

#include "route.h"
#include "sky.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

struct GeneratorSettings {
    const Route *route = nullptr;
    double speedKnots = 20.0;
    QByteArray talker = "GP"; // of GGA, GSA, RMC, VTG and GLL
    QList<SatelliteSystem> systems{SatelliteSystem::Gps};
    bool signalIds = false; // NMEA 4.10 signal IDs, and a second signal where there is one
    bool fix = true;
    int hz = 1;
    qint64 startMsecs = 0; // UTC of the first epoch, milliseconds since 1970
    unsigned seed = 1;
    double skySpeedup = 10.0;
};

// Builds the sentences of each epoch. Pure: the same settings and epoch index always give the
// same sentences, whatever happened on the line.
class NmeaGenerator {
public:
    explicit NmeaGenerator(const GeneratorSettings &settings);

    qint64 epochMsecs(qint64 epoch) const;

    // GGA, GSA (one per system with NMEA 4.10 system IDs), GSV (as many as needed), RMC, VTG,
    // GLL: complete sentences from "$" to the checksum, without line end.
    QList<QByteArray> epochSentences(qint64 epoch);

private:
    GeneratorSettings m_settings;
    Sky m_sky;
};

// The talker of a system's own sentences: GP (SBAS too), GL, GA or GB.
QByteArray systemTalker(SatelliteSystem system);

// The talker a receiver of these systems puts on its position sentences: the system's own, or GN
// for a combined solution.
QByteArray positionTalker(const QList<SatelliteSystem> &systems);

// Exclusive-or of the bytes between "$" and "*" (or the end), two upper-case hex digits.
QByteArray nmeaChecksum(QByteArrayView sentence);

// "$" + body + "*" + checksum of body.
QByteArray finishSentence(QByteArrayView body);

// ddmm.mmmm,N / dddmm.mmmm,E: the two fields of a position part, rounded to 1/10000 minute.
QByteArray formatLatitude(double degrees);
QByteArray formatLongitude(double degrees);
