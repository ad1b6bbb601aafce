#include "nmeagenerator.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;
constexpr double kKilometresPerHourPerKnot = 1.852;

// snprintf formats by the C locale, which Qt applications never change from "C" for numbers.
template <typename... Args> QByteArray format(const char *pattern, Args... args) {
    char buffer[128];
    const int length = std::snprintf(buffer, sizeof buffer, pattern, args...);
    return QByteArray(buffer, std::min<int>(length, sizeof buffer - 1));
}

QByteArray formatPosition(double degrees, int degreeDigits, char positive, char negative) {
    // Whole ten-thousandths of a minute, so that 59.99996' rounds up into the next degree.
    const long long units = std::llround(std::abs(degrees) * 60.0 * 10000.0);
    const long long wholeDegrees = units / 600000;
    const long long rest = units % 600000;
    const char hemisphere = degrees < 0.0 && units != 0 ? negative : positive;
    return format("%0*lld%02lld.%04lld,%c", degreeDigits, wholeDegrees, rest / 10000, rest % 10000,
                  hemisphere);
}

struct Clock {
    QByteArray time; // hhmmss.ss
    QByteArray date; // ddmmyy
};

Clock clockAt(qint64 msecs) {
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc());
    const QTime time = utc.time();
    const QDate date = utc.date();
    return {
        format("%02d%02d%02d.%02d", time.hour(), time.minute(), time.second(), time.msec() / 10),
        format("%02d%02d%02d", date.day(), date.month(), date.year() % 100)};
}

QByteArray decimal(double value, int decimals) {
    return format("%.*f", decimals, value);
}

// SBAS satellites are listed with GPS, under its talker and system ID.
SatelliteSystem nmeaGroup(SatelliteSystem system) {
    return system == SatelliteSystem::Sbas ? SatelliteSystem::Gps : system;
}

// NMEA 4.10 names of a system: its system ID in GSA, and the signal IDs of its first and second
// signal in GSV.
struct SystemIds {
    int system;
    int firstSignal;
    int secondSignal;
};

SystemIds systemIds(SatelliteSystem system) {
    switch (nmeaGroup(system)) {
    case SatelliteSystem::Glonass:
        return {2, 1, 3}; // G1 C/A, G2 C/A
    case SatelliteSystem::Galileo:
        return {3, 7, 1}; // E1, E5a
    case SatelliteSystem::BeiDou:
        return {4, 1, 5}; // B1I, B2a
    default:
        return {1, 1, 8}; // L1 C/A, L5 Q
    }
}

} // namespace

QByteArray nmeaChecksum(QByteArrayView sentence) {
    if (sentence.startsWith('$'))
        sentence = sentence.sliced(1);
    const qsizetype star = sentence.indexOf('*');
    if (star >= 0)
        sentence = sentence.first(star);
    unsigned char sum = 0;
    for (const char c : sentence)
        sum ^= static_cast<unsigned char>(c);
    return format("%02X", sum);
}

QByteArray finishSentence(QByteArrayView body) {
    return '$' + body.toByteArray() + '*' + nmeaChecksum(body);
}

QByteArray systemTalker(SatelliteSystem system) {
    switch (nmeaGroup(system)) {
    case SatelliteSystem::Glonass:
        return "GL";
    case SatelliteSystem::Galileo:
        return "GA";
    case SatelliteSystem::BeiDou:
        return "GB";
    default:
        return "GP";
    }
}

QByteArray positionTalker(const QList<SatelliteSystem> &systems) {
    QByteArray talker;
    for (const SatelliteSystem system : systems) {
        const QByteArray own = systemTalker(system);
        if (!talker.isEmpty() && talker != own)
            return "GN";
        talker = own;
    }
    return talker.isEmpty() ? QByteArray("GP") : talker;
}

QByteArray formatLatitude(double degrees) {
    return formatPosition(degrees, 2, 'N', 'S');
}

QByteArray formatLongitude(double degrees) {
    return formatPosition(degrees, 3, 'E', 'W');
}

NmeaGenerator::NmeaGenerator(const GeneratorSettings &settings)
    : m_settings(settings)
    , m_sky(settings.seed, settings.skySpeedup, settings.systems) {}

qint64 NmeaGenerator::epochMsecs(qint64 epoch) const {
    return m_settings.startMsecs + epoch * 1000 / m_settings.hz;
}

QList<QByteArray> NmeaGenerator::epochSentences(qint64 epoch) {
    const QByteArray &talker = m_settings.talker;
    QList<SatelliteSystem> groups;
    for (const SatelliteSystem system : m_settings.systems) {
        if (!groups.contains(nmeaGroup(system)))
            groups.append(nmeaGroup(system));
    }
    std::sort(groups.begin(), groups.end());
    const bool several = groups.size() > 1;
    // One GSA per system needs the system ID to tell them apart; signal IDs came with it.
    const bool withSystemIds = several || m_settings.signalIds;
    const qint64 msecs = epochMsecs(epoch);
    const double elapsed = static_cast<double>(epoch) / m_settings.hz;
    const RoutePoint here =
        positionAlong(*m_settings.route, m_settings.speedKnots * kMetresPerSecondPerKnot * elapsed);
    QList<SatelliteView> satellites =
        m_sky.visible(msecs / 1000.0, here.latitude, here.longitude, m_settings.fix);
    const Dilution dop = dilutionOfPrecision(satellites);
    int used = 0;
    for (const SatelliteView &satellite : satellites)
        used += satellite.used;
    const bool fix = m_settings.fix && used >= 4;
    const Clock clock = clockAt(msecs);
    const QByteArray position =
        formatLatitude(here.latitude) + ',' + formatLongitude(here.longitude);
    const QByteArray speed = decimal(m_settings.speedKnots, 2);
    const QByteArray course = decimal(here.course, 2);

    QList<QByteArray> sentences;
    if (fix) {
        sentences << finishSentence(talker + "GGA," + clock.time + ',' + position + ",1," +
                                    format("%02d", used) + ',' + decimal(dop.horizontal, 1) + ',' +
                                    decimal(here.altitude, 1) + ",M," +
                                    decimal(m_settings.route->geoidSeparation, 1) + ",M,,");
    } else {
        // What a receiver sends before its first fix: empty fields, quality 0, mode 1.
        sentences << finishSentence(talker + "GGA,,,,,,0,00,99.99,,,,,,");
    }
    for (const SatelliteSystem group : std::as_const(groups)) {
        QByteArray body = talker + "GSA,A,";
        if (fix) {
            // The satellites this system adds to the combined fix, whose dilution each GSA sends.
            body += "3,";
            int listed = 0;
            for (const SatelliteView &satellite : satellites) {
                if (satellite.used && nmeaGroup(satellite.system) == group) {
                    body += format("%02d,", satellite.id);
                    ++listed;
                }
            }
            body += QByteArray(Sky::kMaximumUsed - listed, ',') + decimal(dop.position, 1) + ',' +
                    decimal(dop.horizontal, 1) + ',' + decimal(dop.vertical, 1);
        } else {
            body += "1,,,,,,,,,,,,,99.99,99.99,99.99";
        }
        if (withSystemIds)
            body += format(",%d", systemIds(group).system);
        sentences << finishSentence(body);
    }

    for (const SatelliteSystem group : std::as_const(groups)) {
        // A lone system's GSV keeps the position talker, as before there were others; GN is no
        // talker for satellites, though.
        const QByteArray gsvTalker = several || talker == "GN" ? systemTalker(group) : talker;
        const SystemIds ids = systemIds(group);
        for (const bool second : {false, true}) {
            if (second && !m_settings.signalIds)
                break;
            QList<const SatelliteView *> listed;
            for (const SatelliteView &satellite : satellites) {
                if (nmeaGroup(satellite.system) == group && (!second || satellite.secondSignal))
                    listed.append(&satellite);
            }
            const qsizetype total = listed.size();
            const qsizetype parts = std::max<qsizetype>(1, (total + 3) / 4);
            for (qsizetype part = 0; part < parts; ++part) {
                QByteArray body =
                    gsvTalker + format("GSV,%d,%d,%02d", static_cast<int>(parts),
                                       static_cast<int>(part + 1), static_cast<int>(total));
                for (qsizetype i = part * 4; i < std::min(total, part * 4 + 4); ++i) {
                    const SatelliteView &satellite = *listed[i];
                    body += format(",%02d,%02d,%03d,", satellite.id, satellite.elevation,
                                   satellite.azimuth);
                    const int snr = second ? satellite.secondSnr : satellite.snr;
                    if (snr >= 0)
                        body += format("%02d", snr);
                }
                if (m_settings.signalIds)
                    body += format(",%X", second ? ids.secondSignal : ids.firstSignal);
                sentences << finishSentence(body);
            }
        }
    }

    if (fix) {
        sentences << finishSentence(talker + "RMC," + clock.time + ",A," + position + ',' + speed +
                                    ',' + course + ',' + clock.date + ",,,A");
        sentences << finishSentence(talker + "VTG," + course + ",T,,M," + speed + ",N," +
                                    decimal(m_settings.speedKnots * kKilometresPerHourPerKnot, 2) +
                                    ",K,A");
        sentences << finishSentence(talker + "GLL," + position + ',' + clock.time + ",A,A");
    } else {
        sentences << finishSentence(talker + "RMC,,V,,,,,,,,,,N");
        sentences << finishSentence(talker + "VTG,,,,,,,,,N");
        sentences << finishSentence(talker + "GLL,,,,,,V,N");
    }
    return sentences;
}
