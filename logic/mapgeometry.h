#pragma once

#include <QPointF>
#include <QSizeF>
#include <QString>

#include <optional>

// The arithmetic of the map drawn without the map service: positions from the field texts, the
// Web-Mercator frame that web maps use, the graticule and the scale bar.

struct GeoPoint {
    double latitude = 0;  // degrees, north positive
    double longitude = 0; // degrees, east positive
};

// The degrees of a position field as the GGA decoder writes it: "48 °  07.038 ' N",
// "011 °  31.000 ' E" (degrees, degree sign, minutes, apostrophe, hemisphere letter; blanks
// anywhere). Nothing for a text that is no such position, such as the " °   ' " of a sentence
// without a fix, an empty field, or a value beyond the pole or the 180th meridian.
std::optional<double> latitudeDegrees(const QString &field);
std::optional<double> longitudeDegrees(const QString &field);
std::optional<GeoPoint> fieldPosition(const QString &latitudeField, const QString &longitudeField);

// Web Mercator stops here, so that the world is a square.
constexpr double kMercatorLatitudeLimit = 85.05112877980659;

// A view of the world as web maps tile it, 256 · 2^zoom pixels round the equator, centred on
// one point. Pixels count from the top left corner of the view; longitudes are used as given,
// so a point 360° further east lies one world width further right.
class MapFrame {
public:
    MapFrame(GeoPoint centre, int zoom, QSizeF size);

    GeoPoint centre() const { return m_centre; }
    int zoom() const { return m_zoom; }
    QSizeF size() const { return m_size; }
    double worldWidth() const;

    QPointF toPixel(GeoPoint point) const;
    GeoPoint toGeo(QPointF pixel) const;
    // Ground distance of one pixel at the centre's latitude.
    double metresPerPixel() const;

private:
    GeoPoint m_centre;
    int m_zoom;
    QSizeF m_size;
    QPointF m_centreWorld; // the centre in pixels of the whole world
};

// The spacing of graticule lines, in degrees, from the steps a reader counts easily (whole
// degrees, whole and decimal minutes), the finest one that keeps at most maxLines across span.
double graticuleStep(double spanDegrees, int maxLines);

// A graticule line's label, degrees and minutes as in the position fields, only as many
// minute decimals as the step needs: "48°N", "48°30'N", "11°31.5'E"; 0° and 180° without a
// letter. Longitudes beyond ±180° are taken round the globe.
QString graticuleLabel(double degrees, double step, bool latitude);

struct ScaleBar {
    double metres = 0;
    double pixels = 0;
    QString label; // "500 m", "2 km"
};

// The longest bar of 1, 2 or 5 times a power of ten metres that fits into maxPixels.
ScaleBar scaleBarFor(double metresPerPixel, double maxPixels);
