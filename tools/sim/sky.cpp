#include "sky.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
constexpr double kEarthRadiusKm = 6371.0;
constexpr double kOrbitRadiusKm = 26560.0;
constexpr double kOrbitPeriod = 43082.0;        // seconds, half a sidereal day
constexpr double kEarthRotation = 7.2921159e-5; // radians per second
constexpr double kInclination = 55.0 * kRadiansPerDegree;
constexpr double kVisibleMask = 5.0; // degrees: listed in GSV
constexpr double kUsedMask = 10.0;   // degrees: may be used in the fix

// The nominal 24-slot layout: six planes, four satellites each, PRNs spread over 1..32.
struct Slot {
    int prn;
    int plane; // 0..5, ascending nodes 60 degrees apart
    double phase;
};
constexpr std::array<Slot, 24> kSlots{{
    {2, 0, 11},   {19, 0, 103}, {31, 0, 200}, {8, 0, 296},  {7, 1, 41},   {26, 1, 135},
    {13, 1, 228}, {5, 1, 322},  {25, 2, 70},  {14, 2, 161}, {3, 2, 255},  {29, 2, 349},
    {12, 3, 98},  {9, 3, 190},  {21, 3, 283}, {17, 3, 17},  {6, 4, 127},  {20, 4, 219},
    {27, 4, 312}, {15, 4, 46},  {18, 5, 156}, {24, 5, 250}, {10, 5, 343}, {22, 5, 75},
}};

struct Direction {
    double elevation; // degrees
    double azimuth;   // degrees
};

Direction lookAt(const Slot &slot, double seconds, double latitude, double longitude) {
    const double u =
        slot.phase * kRadiansPerDegree + 2.0 * std::numbers::pi * seconds / kOrbitPeriod;
    const double node = slot.plane * 60.0 * kRadiansPerDegree;
    const double x = kOrbitRadiusKm * std::cos(u);
    const double y = kOrbitRadiusKm * std::sin(u);
    const double inertialX = x * std::cos(node) - y * std::cos(kInclination) * std::sin(node);
    const double inertialY = x * std::sin(node) + y * std::cos(kInclination) * std::cos(node);
    const double inertialZ = y * std::sin(kInclination);
    // Turn with the earth, then look from the observer along east, north and up.
    const double spin = std::fmod(kEarthRotation * seconds, 2.0 * std::numbers::pi);
    const double sx = inertialX * std::cos(spin) + inertialY * std::sin(spin);
    const double sy = -inertialX * std::sin(spin) + inertialY * std::cos(spin);
    const double sz = inertialZ;
    const double phi = latitude * kRadiansPerDegree;
    const double lambda = longitude * kRadiansPerDegree;
    const double dx = sx - kEarthRadiusKm * std::cos(phi) * std::cos(lambda);
    const double dy = sy - kEarthRadiusKm * std::cos(phi) * std::sin(lambda);
    const double dz = sz - kEarthRadiusKm * std::sin(phi);
    const double east = -std::sin(lambda) * dx + std::cos(lambda) * dy;
    const double north = -std::sin(phi) * std::cos(lambda) * dx -
                         std::sin(phi) * std::sin(lambda) * dy + std::cos(phi) * dz;
    const double up = std::cos(phi) * std::cos(lambda) * dx +
                      std::cos(phi) * std::sin(lambda) * dy + std::sin(phi) * dz;
    double azimuth = std::atan2(east, north) / kRadiansPerDegree;
    if (azimuth < 0.0)
        azimuth += 360.0;
    return {std::atan2(up, std::hypot(east, north)) / kRadiansPerDegree, azimuth};
}

} // namespace

Sky::Sky(unsigned seed, double speedup)
    : m_speedup(speedup)
    , m_noise(seed) {}

QList<SatelliteView> Sky::visible(double utcSeconds, double latitude, double longitude,
                                  bool tracking) {
    // Only the orbit runs faster; the observer's clock and place are untouched.
    const double seconds = utcSeconds * m_speedup;
    QList<SatelliteView> result;
    std::uniform_int_distribution<int> jitter(-2, 2);
    for (const Slot &slot : kSlots) {
        const Direction direction = lookAt(slot, seconds, latitude, longitude);
        if (direction.elevation < kVisibleMask)
            continue;
        const int elevation = static_cast<int>(std::lround(direction.elevation));
        const int azimuth = static_cast<int>(std::lround(direction.azimuth)) % 360;
        int snr = -1;
        if (tracking) {
            snr = 22 +
                  static_cast<int>(
                      std::lround(26.0 * std::sin(direction.elevation * kRadiansPerDegree))) +
                  jitter(m_noise);
        }
        result.append({slot.prn, elevation, azimuth, snr, false});
    }
    if (tracking) {
        // The fix uses the highest satellites, as many as a twelve-channel GSA can list.
        QList<SatelliteView *> candidates;
        for (SatelliteView &satellite : result) {
            if (satellite.elevation >= kUsedMask)
                candidates.append(&satellite);
        }
        std::sort(candidates.begin(), candidates.end(),
                  [](const SatelliteView *a, const SatelliteView *b) {
                      return a->elevation > b->elevation;
                  });
        for (qsizetype i = 0; i < candidates.size() && i < kMaximumUsed; ++i)
            candidates[i]->used = true;
    }
    std::sort(result.begin(), result.end(),
              [](const SatelliteView &a, const SatelliteView &b) { return a.prn < b.prn; });
    return result;
}

Dilution dilutionOfPrecision(const QList<SatelliteView> &satellites) {
    // Normal matrix of the line-of-sight unit vectors (east, north, up) plus the clock column.
    double normal[4][8] = {};
    int used = 0;
    for (const SatelliteView &satellite : satellites) {
        if (!satellite.used)
            continue;
        ++used;
        const double el = satellite.elevation * kRadiansPerDegree;
        const double az = satellite.azimuth * kRadiansPerDegree;
        const double row[4] = {std::cos(el) * std::sin(az), std::cos(el) * std::cos(az),
                               std::sin(el), 1.0};
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j)
                normal[i][j] += row[i] * row[j];
        }
    }
    const Dilution unknown{99.99, 99.99, 99.99};
    if (used < 4)
        return unknown;
    // Gauss-Jordan inversion on the augmented matrix [N | I].
    for (int i = 0; i < 4; ++i)
        normal[i][4 + i] = 1.0;
    for (int column = 0; column < 4; ++column) {
        int pivot = column;
        for (int row = column + 1; row < 4; ++row) {
            if (std::abs(normal[row][column]) > std::abs(normal[pivot][column]))
                pivot = row;
        }
        if (std::abs(normal[pivot][column]) < 1e-12)
            return unknown;
        std::swap(normal[column], normal[pivot]);
        const double scale = normal[column][column];
        for (double &value : normal[column])
            value /= scale;
        for (int row = 0; row < 4; ++row) {
            if (row == column)
                continue;
            const double factor = normal[row][column];
            for (int k = 0; k < 8; ++k)
                normal[row][k] -= factor * normal[column][k];
        }
    }
    const auto clamp = [](double value) { return std::min(value, 99.99); };
    return {clamp(std::sqrt(normal[0][4] + normal[1][5] + normal[2][6])),
            clamp(std::sqrt(normal[0][4] + normal[1][5])), clamp(std::sqrt(normal[2][6]))};
}
