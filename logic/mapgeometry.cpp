#include "logic/mapgeometry.h"

#include "logic/mapaddress.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

constexpr double kEarthRadius = 6378137; // metres, the sphere of Web Mercator
constexpr double kTileSize = 256;

std::optional<double> fieldDegrees(const QString &field, QChar positive, QChar negative,
                                   double limit) {
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{1,3})\u00B0(\\d{1,2}(?:\\.\\d*)?)'(.)$"));
    const QRegularExpressionMatch match = pattern.match(withoutBlanks(field));
    if (!match.hasMatch())
        return std::nullopt;
    const QChar hemisphere = match.captured(3).at(0);
    if (hemisphere != positive && hemisphere != negative)
        return std::nullopt;
    const double minutes = match.captured(2).toDouble();
    const double degrees = match.captured(1).toDouble() + minutes / 60;
    if (minutes >= 60 || degrees > limit)
        return std::nullopt;
    return hemisphere == positive ? degrees : -degrees;
}

double radians(double degrees) {
    return degrees * std::numbers::pi / 180;
}

double worldX(double longitude, double worldWidth) {
    return (longitude + 180) / 360 * worldWidth;
}

double worldY(double latitude, double worldWidth) {
    const double phi =
        radians(std::clamp(latitude, -kMercatorLatitudeLimit, kMercatorLatitudeLimit));
    return (1 - std::log(std::tan(std::numbers::pi / 4 + phi / 2)) / std::numbers::pi) / 2 *
           worldWidth;
}

} // namespace

std::optional<double> latitudeDegrees(const QString &field) {
    return fieldDegrees(field, u'N', u'S', 90);
}

std::optional<double> longitudeDegrees(const QString &field) {
    return fieldDegrees(field, u'E', u'W', 180);
}

std::optional<GeoPoint> fieldPosition(const QString &latitudeField, const QString &longitudeField) {
    const std::optional<double> latitude = latitudeDegrees(latitudeField);
    const std::optional<double> longitude = longitudeDegrees(longitudeField);
    if (!latitude || !longitude)
        return std::nullopt;
    return GeoPoint{.latitude = *latitude, .longitude = *longitude};
}

MapFrame::MapFrame(GeoPoint centre, int zoom, QSizeF size)
    : m_centre(centre)
    , m_zoom(zoom)
    , m_size(size)
    , m_centreWorld(worldX(centre.longitude, worldWidth()), worldY(centre.latitude, worldWidth())) {
}

double MapFrame::worldWidth() const {
    return std::ldexp(kTileSize, m_zoom);
}

QPointF MapFrame::toPixel(GeoPoint point) const {
    const QPointF world(worldX(point.longitude, worldWidth()),
                        worldY(point.latitude, worldWidth()));
    return world - m_centreWorld + QPointF(m_size.width() / 2, m_size.height() / 2);
}

GeoPoint MapFrame::toGeo(QPointF pixel) const {
    const QPointF world = pixel - QPointF(m_size.width() / 2, m_size.height() / 2) + m_centreWorld;
    const double y = std::numbers::pi * (1 - 2 * world.y() / worldWidth());
    return GeoPoint{.latitude = std::atan(std::sinh(y)) * 180 / std::numbers::pi,
                    .longitude = world.x() / worldWidth() * 360 - 180};
}

double MapFrame::metresPerPixel() const {
    const double latitude =
        std::clamp(m_centre.latitude, -kMercatorLatitudeLimit, kMercatorLatitudeLimit);
    return 2 * std::numbers::pi * kEarthRadius * std::cos(radians(latitude)) / worldWidth();
}

double graticuleStep(double spanDegrees, int maxLines) {
    // In minutes, finest first.
    static constexpr std::array kSteps{0.01, 0.02, 0.05, 0.1,  0.2,   0.5,   1.0,   2.0,    5.0,
                                       10.0, 20.0, 30.0, 60.0, 120.0, 300.0, 600.0, 1200.0, 1800.0};
    for (const double minutes : kSteps) {
        if (spanDegrees * 60 / minutes <= maxLines)
            return minutes / 60;
    }
    return kSteps.back() / 60;
}

QString graticuleLabel(double degrees, double step, bool latitude) {
    if (!latitude)
        degrees = std::remainder(degrees, 360.0);
    // Hundredths of a minute are the finest step; counting in them keeps 7.5' from becoming 7.49'.
    const qint64 value = qRound64(std::abs(degrees) * 6000);
    const qint64 stepValue = qRound64(step * 6000);
    QString text = QString::number(value / 6000) + u'\u00B0';
    if (stepValue % 6000 != 0) {
        const int decimals = stepValue % 100 == 0 ? 0 : stepValue % 10 == 0 ? 1 : 2;
        const int width = decimals == 0 ? 2 : 3 + decimals;
        text += QStringLiteral("%1'").arg(double(value % 6000) / 100, width, 'f', decimals,
                                          QChar(u'0'));
    }
    if (value == 0 || (!latitude && value == 180 * 6000))
        return text;
    if (latitude)
        return text + (degrees > 0 ? u'N' : u'S');
    return text + (degrees > 0 ? u'E' : u'W');
}

ScaleBar scaleBarFor(double metresPerPixel, double maxPixels) {
    const double longest = metresPerPixel * maxPixels;
    const double power = std::pow(10.0, std::floor(std::log10(longest)));
    double metres = power;
    for (const double factor : {5.0, 2.0}) {
        if (factor * power <= longest) {
            metres = factor * power;
            break;
        }
    }
    const QString label = metres >= 1000 ? QString::number(metres / 1000) + QStringLiteral(" km")
                                         : QString::number(metres) + QStringLiteral(" m");
    return ScaleBar{.metres = metres, .pixels = metres / metresPerPixel, .label = label};
}
