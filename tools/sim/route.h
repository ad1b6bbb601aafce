#pragma once

#include <QList>
#include <QString>

// A closed loop of waypoints the simulated receiver drives around at constant speed.
struct Waypoint {
    double latitude;  // degrees, north positive
    double longitude; // degrees, east positive; may exceed 180 so a loop can cross the date line
    double altitude;  // metres above mean sea level
};

struct Route {
    QString name;
    QString description;
    double geoidSeparation; // metres, geoid above the ellipsoid, as GGA field 11 reports it
    QList<Waypoint> waypoints;
};

struct RoutePoint {
    double latitude;  // degrees, -90..90
    double longitude; // degrees, normalised to -180..180
    double altitude;  // metres
    double course;    // degrees true, 0..360, direction of the current leg
};

const QList<Route> &builtInRoutes();
const Route *findRoute(const QString &name);

// Where a vehicle is after driving the given distance from the first waypoint, going round the
// loop as often as needed.
RoutePoint positionAlong(const Route &route, double metres);

// Length of one lap.
double loopLength(const Route &route);
