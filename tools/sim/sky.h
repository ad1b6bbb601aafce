#pragma once

#include <QList>

#include <random>

// In the order the sentences list them: GPS with its SBAS, then GLONASS, Galileo and BeiDou.
enum class SatelliteSystem { Gps, Sbas, Glonass, Galileo, BeiDou };

// One satellite above the horizon as GSV and GSA describe it.
struct SatelliteView {
    SatelliteSystem system;
    int id;        // as NMEA sends it: GPS 1..32, SBAS 33..64, GLONASS 65..96, Galileo and BeiDou
                   // their own PRN
    int elevation; // degrees, 0..90
    int azimuth;   // degrees true, 0..359
    int snr;       // dB-Hz, -1 while not tracked (GSV then sends an empty field)
    bool secondSignal; // sends the system's second signal too
    int secondSnr;     // dB-Hz on that signal, -1 while not tracked on it
    bool used;         // part of the fix, listed in GSA
};

struct Dilution {
    double position;
    double horizontal;
    double vertical;
};

// Constellations on circular orbits, seen from a point on a spherical earth. Time may run faster
// than real so that satellites rise and set within minutes.
class Sky {
public:
    Sky(unsigned seed, double speedup,
        const QList<SatelliteSystem> &systems = {SatelliteSystem::Gps});

    // Satellites at least 5 degrees up, sorted by system and ID. With tracking off (no fix yet)
    // the positions come from the almanac only: no signal strengths, nothing used.
    QList<SatelliteView> visible(double utcSeconds, double latitude, double longitude,
                                 bool tracking);

    // Used satellites of each system: as many as a twelve-channel GSA can list.
    static constexpr int kMaximumUsed = 12;

private:
    double m_speedup;
    QList<SatelliteSystem> m_systems;
    std::mt19937 m_noise;
};

// Dilution of precision of the used satellites; 99.99 throughout when fewer than four.
Dilution dilutionOfPrecision(const QList<SatelliteView> &satellites);
