#include "sky.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <span>
#include <utility>

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
constexpr double kEarthRadiusKm = 6371.0;
constexpr double kEarthRotation = 7.2921159e-5; // radians per second
constexpr double kVisibleMask = 5.0;            // degrees: listed in GSV
constexpr double kUsedMask = 10.0;              // degrees: may be used in the fix
constexpr double kSecondSignalMask = 15.0; // degrees: the weaker second signal is tracked above

struct Slot {
    int id;
    int plane;
    double phase; // degrees along the orbit at time 0
};

// The nominal GPS 24-slot layout: six planes, four satellites each, PRNs spread over 1..32.
constexpr std::array<Slot, 24> kGpsSlots{{
    {2, 0, 11},   {19, 0, 103}, {31, 0, 200}, {8, 0, 296},  {7, 1, 41},   {26, 1, 135},
    {13, 1, 228}, {5, 1, 322},  {25, 2, 70},  {14, 2, 161}, {3, 2, 255},  {29, 2, 349},
    {12, 3, 98},  {9, 3, 190},  {21, 3, 283}, {17, 3, 17},  {6, 4, 127},  {20, 4, 219},
    {27, 4, 312}, {15, 4, 46},  {18, 5, 156}, {24, 5, 250}, {10, 5, 343}, {22, 5, 75},
}};

// GLONASS, Galileo and BeiDou fly three planes of eight: 45 degrees apart within a plane, and
// each plane 15 degrees on from the one before.
constexpr std::array<Slot, 24> threePlanes(const std::array<int, 24> &ids, double phase) {
    std::array<Slot, 24> layout{};
    for (int k = 0; k < 24; ++k)
        layout[k] = {ids[k], k / 8, phase + (k % 8) * 45.0 + (k / 8) * 15.0};
    return layout;
}

// GLONASS slots 1..24 as NMEA numbers them, 64 on.
constexpr std::array<Slot, 24> kGlonassSlots =
    threePlanes({65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76,
                 77, 78, 79, 80, 81, 82, 83, 84, 85, 86, 87, 88},
                0.0);
constexpr std::array<Slot, 24> kGalileoSlots = threePlanes(
    {2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 15, 19, 21, 24, 25, 26, 27, 29, 30, 31, 33, 34, 36},
    10.0);
// The medium earth orbits only: BeiDou's geostationary and inclined ones would add little.
constexpr std::array<Slot, 24> kBeiDouSlots =
    threePlanes({19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30,
                 32, 33, 34, 35, 36, 37, 41, 42, 43, 44, 45, 46},
                25.0);

struct Orbit {
    SatelliteSystem system;
    double radiusKm;
    double period;       // seconds
    double inclination;  // degrees
    double firstNode;    // degrees: ascending node of plane 0
    double planeSpacing; // degrees between the ascending nodes of neighbouring planes
    std::span<const Slot> satellites;
};

// GPS first: the noise it draws stays what it was before there were other systems.
constexpr std::array<Orbit, 4> kOrbits{{
    {SatelliteSystem::Gps, 26560.0, 43082.0, 55.0, 0.0, 60.0, kGpsSlots},
    {SatelliteSystem::Glonass, 25510.0, 40544.0, 64.8, 15.0, 120.0, kGlonassSlots},
    {SatelliteSystem::Galileo, 29600.0, 50680.0, 56.0, 35.0, 120.0, kGalileoSlots},
    {SatelliteSystem::BeiDou, 27906.0, 46404.0, 55.0, 95.0, 120.0, kBeiDouSlots},
}};

// EGNOS PRN 136 over 5 degrees east, NMEA number PRN minus 87: in view from Europe, Africa and
// the Americas' east.
constexpr int kSbasId = 49;
constexpr double kSbasLongitude = 5.0;
constexpr double kGeostationaryRadiusKm = 42164.0;

struct EarthFixed {
    double x, y, z; // km
};

EarthFixed orbitPosition(const Orbit &orbit, const Slot &slot, double seconds) {
    const double u =
        slot.phase * kRadiansPerDegree + 2.0 * std::numbers::pi * seconds / orbit.period;
    const double node = (orbit.firstNode + slot.plane * orbit.planeSpacing) * kRadiansPerDegree;
    const double inclination = orbit.inclination * kRadiansPerDegree;
    const double x = orbit.radiusKm * std::cos(u);
    const double y = orbit.radiusKm * std::sin(u);
    const double inertialX = x * std::cos(node) - y * std::cos(inclination) * std::sin(node);
    const double inertialY = x * std::sin(node) + y * std::cos(inclination) * std::cos(node);
    const double inertialZ = y * std::sin(inclination);
    // Turn with the earth.
    const double spin = std::fmod(kEarthRotation * seconds, 2.0 * std::numbers::pi);
    return {inertialX * std::cos(spin) + inertialY * std::sin(spin),
            -inertialX * std::sin(spin) + inertialY * std::cos(spin), inertialZ};
}

struct Direction {
    double elevation; // degrees
    double azimuth;   // degrees
};

// Seen from the observer along east, north and up.
Direction lookAt(const EarthFixed &satellite, double latitude, double longitude) {
    const double phi = latitude * kRadiansPerDegree;
    const double lambda = longitude * kRadiansPerDegree;
    const double dx = satellite.x - kEarthRadiusKm * std::cos(phi) * std::cos(lambda);
    const double dy = satellite.y - kEarthRadiusKm * std::cos(phi) * std::sin(lambda);
    const double dz = satellite.z - kEarthRadiusKm * std::sin(phi);
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

Sky::Sky(unsigned seed, double speedup, const QList<SatelliteSystem> &systems)
    : m_speedup(speedup)
    , m_systems(systems)
    , m_noise(seed) {}

QList<SatelliteView> Sky::visible(double utcSeconds, double latitude, double longitude,
                                  bool tracking) {
    // Only the orbit runs faster; the observer's clock and place are untouched.
    const double seconds = utcSeconds * m_speedup;
    QList<SatelliteView> result;
    std::uniform_int_distribution<int> jitter(-2, 2);
    const auto add = [&](SatelliteSystem system, int id, const Direction &direction) {
        if (direction.elevation < kVisibleMask)
            return;
        const int elevation = static_cast<int>(std::lround(direction.elevation));
        const int azimuth = static_cast<int>(std::lround(direction.azimuth)) % 360;
        // Every other satellite is of a newer kind that sends a second signal; SBAS only one.
        const bool secondSignal = system != SatelliteSystem::Sbas && id % 2 == 0;
        int snr = -1;
        int secondSnr = -1;
        if (tracking) {
            // The geostationary satellite is farther away and weaker.
            const double base = system == SatelliteSystem::Sbas ? 16.0 : 22.0;
            const double gain = system == SatelliteSystem::Sbas ? 20.0 : 26.0;
            snr = static_cast<int>(base) +
                  static_cast<int>(
                      std::lround(gain * std::sin(direction.elevation * kRadiansPerDegree))) +
                  jitter(m_noise);
            if (secondSignal && direction.elevation >= kSecondSignalMask)
                secondSnr = snr - 3 - id % 4;
        }
        result.append({system, id, elevation, azimuth, snr, secondSignal, secondSnr, false});
    };
    for (const Orbit &orbit : kOrbits) {
        if (!m_systems.contains(orbit.system))
            continue;
        for (const Slot &slot : orbit.satellites)
            add(orbit.system, slot.id,
                lookAt(orbitPosition(orbit, slot, seconds), latitude, longitude));
    }
    if (m_systems.contains(SatelliteSystem::Sbas)) {
        const double lambda = kSbasLongitude * kRadiansPerDegree;
        add(SatelliteSystem::Sbas, kSbasId,
            lookAt({kGeostationaryRadiusKm * std::cos(lambda),
                    kGeostationaryRadiusKm * std::sin(lambda), 0.0},
                   latitude, longitude));
    }
    if (tracking) {
        // The fix uses the highest satellites of each system, as many as its GSA can list.
        // SBAS brings corrections, not ranges.
        for (const SatelliteSystem system : m_systems) {
            if (system == SatelliteSystem::Sbas)
                continue;
            QList<SatelliteView *> candidates;
            for (SatelliteView &satellite : result) {
                if (satellite.system == system && satellite.elevation >= kUsedMask)
                    candidates.append(&satellite);
            }
            std::sort(candidates.begin(), candidates.end(),
                      [](const SatelliteView *a, const SatelliteView *b) {
                          return a->elevation > b->elevation;
                      });
            for (qsizetype i = 0; i < candidates.size() && i < kMaximumUsed; ++i)
                candidates[i]->used = true;
        }
    }
    std::sort(result.begin(), result.end(), [](const SatelliteView &a, const SatelliteView &b) {
        return std::pair(a.system, a.id) < std::pair(b.system, b.id);
    });
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
