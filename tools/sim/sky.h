#pragma once

#include <QList>

#include <random>

// One satellite above the horizon as GSV and GSA describe it.
struct SatelliteView {
    int prn;
    int elevation; // degrees, 0..90
    int azimuth;   // degrees true, 0..359
    int snr;       // dB-Hz, -1 while not tracked (GSV then sends an empty field)
    bool used;     // part of the fix, listed in GSA
};

struct Dilution {
    double position;
    double horizontal;
    double vertical;
};

// A GPS-like constellation on circular orbits, seen from a point on a spherical earth. Time may
// run faster than real so that satellites rise and set within minutes.
class Sky {
public:
    Sky(unsigned seed, double speedup);

    // Satellites at least 5 degrees up, sorted by PRN. With tracking off (no fix yet) the
    // positions come from the almanac only: no signal strengths, nothing used.
    QList<SatelliteView> visible(double utcSeconds, double latitude, double longitude,
                                 bool tracking);

    static constexpr int kMaximumUsed = 12;

private:
    double m_speedup;
    std::mt19937 m_noise;
};

// Dilution of precision of the used satellites; 99.99 throughout when fewer than four.
Dilution dilutionOfPrecision(const QList<SatelliteView> &satellites);
