#pragma once

#include "logic/mapgeometry.h"
#include "windows/pageloader.h"

#include <QColor>
#include <QWidget>

#include <optional>

class QLabel;
class QPainter;
struct WorldOutlines;

// The map drawn from the outlines the program carries, where the web map cannot be had:
// centred on the position with a marker, at the ground extent the web map has at that zoom, with
// a graticule and a scale bar. A notice above it says why it stands in for the web map and
// gives the position texts.
class OfflineMap : public QWidget {
    Q_OBJECT
public:
    static inline const QColor kSea{170, 211, 232};
    static inline const QColor kLand{236, 229, 200};

    explicit OfflineMap(QWidget *parent);

    // Why this map stands in for the web map, as rich text.
    void setReason(const QString &html);
    // Draws map's position at its zoom. A position that cannot be placed (no fix, empty fields)
    // is drawn without a marker, centred where the last one that could be placed was.
    void showMap(const MapRequest &map);
    // Where the map is drawn now.
    MapFrame frame() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void updateNotice();

    QLabel *m_notice;
    QString m_reason;
    MapRequest m_map;
    std::optional<GeoPoint> m_position;
    GeoPoint m_centre;
};

// Paints the map of frame, from the top left of the painter's device; placed says whether the
// centre is the position, which then gets the marker.
void paintOfflineMap(QPainter &painter, const MapFrame &frame, const WorldOutlines &outlines,
                     bool placed);
