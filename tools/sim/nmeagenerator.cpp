#include "nmeagenerator.h"

#include <QDateTime>
#include <QTimeZone>

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

QByteArray formatLatitude(double degrees) {
    return formatPosition(degrees, 2, 'N', 'S');
}

QByteArray formatLongitude(double degrees) {
    return formatPosition(degrees, 3, 'E', 'W');
}

NmeaGenerator::NmeaGenerator(const GeneratorSettings &settings)
    : m_settings(settings)
    , m_sky(settings.seed, settings.skySpeedup) {}

qint64 NmeaGenerator::epochMsecs(qint64 epoch) const {
    return m_settings.startMsecs + epoch * 1000 / m_settings.hz;
}

QList<QByteArray> NmeaGenerator::epochSentences(qint64 epoch) {
    const QByteArray &talker = m_settings.talker;
    // A combined GN solution still reports its GPS satellites under GP.
    const QByteArray gsvTalker = talker == "GN" ? QByteArray("GP") : talker;
    const qint64 msecs = epochMsecs(epoch);
    const double elapsed = static_cast<double>(epoch) / m_settings.hz;
    const RoutePoint here =
        positionAlong(*m_settings.route, m_settings.speedKnots * kMetresPerSecondPerKnot * elapsed);
    QList<SatelliteView> satellites =
        m_sky.visible(msecs / 1000.0, here.latitude, here.longitude, m_settings.fix);
    const Dilution dop = dilutionOfPrecision(satellites);
    int used = 0;
    QByteArray usedPrns;
    for (const SatelliteView &satellite : satellites) {
        if (satellite.used) {
            ++used;
            usedPrns += format("%02d,", satellite.prn);
        }
    }
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
        usedPrns += QByteArray(Sky::kMaximumUsed - used, ',');
        sentences << finishSentence(talker + "GSA,A,3," + usedPrns + decimal(dop.position, 1) +
                                    ',' + decimal(dop.horizontal, 1) + ',' +
                                    decimal(dop.vertical, 1));
    } else {
        // What a receiver sends before its first fix: empty fields, quality 0, mode 1.
        sentences << finishSentence(talker + "GGA,,,,,,0,00,99.99,,,,,,");
        sentences << finishSentence(talker + "GSA,A,1,,,,,,,,,,,,,99.99,99.99,99.99");
    }

    const qsizetype total = satellites.size();
    const qsizetype parts = std::max<qsizetype>(1, (total + 3) / 4);
    for (qsizetype part = 0; part < parts; ++part) {
        QByteArray body = gsvTalker + format("GSV,%d,%d,%02d", static_cast<int>(parts),
                                             static_cast<int>(part + 1), static_cast<int>(total));
        for (qsizetype i = part * 4; i < std::min(total, part * 4 + 4); ++i) {
            const SatelliteView &satellite = satellites[i];
            body +=
                format(",%02d,%02d,%03d,", satellite.prn, satellite.elevation, satellite.azimuth);
            if (satellite.snr >= 0)
                body += format("%02d", satellite.snr);
        }
        sentences << finishSentence(body);
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
