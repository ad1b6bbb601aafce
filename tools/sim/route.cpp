#include "route.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kEarthRadius = 6371000.0;
constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

// Legs are a few hundred metres long, so a flat local grid around each leg is exact enough.
struct Leg {
    double north; // metres
    double east;  // metres
    double length;
};

Leg legBetween(const Waypoint &from, const Waypoint &to) {
    const double meanLatitude = (from.latitude + to.latitude) / 2.0 * kRadiansPerDegree;
    const double north = (to.latitude - from.latitude) * kRadiansPerDegree * kEarthRadius;
    const double east =
        (to.longitude - from.longitude) * kRadiansPerDegree * kEarthRadius * std::cos(meanLatitude);
    return {north, east, std::hypot(north, east)};
}

double normaliseLongitude(double longitude) {
    while (longitude > 180.0)
        longitude -= 360.0;
    while (longitude < -180.0)
        longitude += 360.0;
    return longitude;
}

} // namespace

const QList<Route> &builtInRoutes() {
    static const QList<Route> routes{
        {QStringLiteral("goettingen"),
         QStringLiteral("round the old town ring of Goettingen, Germany (N, E), about 4.5 km"),
         47.3,
         {{51.5392, 9.9328, 152.0},
          {51.5378, 9.9418, 158.0},
          {51.5336, 9.9447, 163.0},
          {51.5291, 9.9412, 156.0},
          {51.5273, 9.9341, 149.0},
          {51.5290, 9.9266, 146.0},
          {51.5334, 9.9243, 147.0},
          {51.5373, 9.9262, 149.0}}},
        {QStringLiteral("montevideo"),
         QStringLiteral("round the old town of Montevideo, Uruguay (S, W), about 4 km"),
         13.8,
         {{-34.9036, -56.2132, 18.0},
          {-34.9060, -56.1985, 31.0},
          {-34.9088, -56.1920, 42.0},
          {-34.9121, -56.1975, 22.0},
          {-34.9108, -56.2090, 9.0},
          {-34.9072, -56.2138, 6.0}}},
        {QStringLiteral("null-island"),
         QStringLiteral("at sea, crossing the equator and the prime meridian (N/S, E/W flip)"),
         17.2,
         {{0.0060, -0.0060, 3.0},
          {0.0060, 0.0060, 3.0},
          {-0.0060, 0.0060, 3.0},
          {-0.0060, -0.0060, 3.0}}},
        {QStringLiteral("dateline"),
         QStringLiteral("on Taveuni, Fiji, crossing the 180th meridian (E/W flip at 180)"),
         60.4,
         {{-16.7935, 179.9870, 12.0},
          {-16.7890, 180.0110, 35.0},
          {-16.8010, 180.0160, 64.0},
          {-16.8050, 179.9920, 20.0}}},
    };
    return routes;
}

const Route *findRoute(const QString &name) {
    for (const Route &route : builtInRoutes()) {
        if (route.name == name)
            return &route;
    }
    return nullptr;
}

double loopLength(const Route &route) {
    double length = 0.0;
    for (qsizetype i = 0; i < route.waypoints.size(); ++i)
        length += legBetween(route.waypoints[i], route.waypoints[(i + 1) % route.waypoints.size()])
                      .length;
    return length;
}

RoutePoint positionAlong(const Route &route, double metres) {
    const qsizetype count = route.waypoints.size();
    double rest = std::fmod(metres, loopLength(route));
    if (rest < 0.0)
        rest += loopLength(route);
    for (qsizetype i = 0; i < count; ++i) {
        const Waypoint &from = route.waypoints[i];
        const Waypoint &to = route.waypoints[(i + 1) % count];
        const Leg leg = legBetween(from, to);
        if (rest > leg.length && i + 1 < count) {
            rest -= leg.length;
            continue;
        }
        const double share = leg.length > 0.0 ? std::min(rest / leg.length, 1.0) : 0.0;
        double course = std::atan2(leg.east, leg.north) / kRadiansPerDegree;
        if (course < 0.0)
            course += 360.0;
        return {from.latitude + share * (to.latitude - from.latitude),
                normaliseLongitude(from.longitude + share * (to.longitude - from.longitude)),
                from.altitude + share * (to.altitude - from.altitude), course};
    }
    const Waypoint &first = route.waypoints.first();
    return {first.latitude, normaliseLongitude(first.longitude), first.altitude, 0.0};
}
