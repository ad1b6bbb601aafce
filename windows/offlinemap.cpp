#include "windows/offlinemap.h"

#include "logic/mappages.h"
#include "logic/worldoutlines.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const QColor kCoast(150, 135, 100);
const QColor kBorder(160, 110, 120);
const QColor kGraticule(40, 70, 120, 90);
const QColor kBeyondTheWorld(215, 215, 215);
const QColor kMarker(220, 0, 0);
const QColor kTextBackground(255, 255, 255, 210);
const QString kCoarse = QStringLiteral("Umrisse grob (1:50 Mio.)");
const QString kNoPosition = QStringLiteral("Keine Position");
// From here on a street lies on a few pixels of a 1:50 million outline.
constexpr int kCoarseFromZoom = 10;
// Outlines reach this far beyond the view, so that cut edges stay out of sight.
constexpr double kMargin = 8;
constexpr double kGraticuleSpacing = 110; // pixels at least, roughly
constexpr double kScaleBarMax = 150;

// Which side of one edge of the clip rectangle a point is on, and where a segment crosses it.
struct ClipEdge {
    bool vertical; // x = value
    double value;
    bool keepGreater;

    bool keeps(QPointF p) const {
        const double v = vertical ? p.x() : p.y();
        return keepGreater ? v >= value : v <= value;
    }
    QPointF crossing(QPointF a, QPointF b) const {
        const double t =
            vertical ? (value - a.x()) / (b.x() - a.x()) : (value - a.y()) / (b.y() - a.y());
        return a + t * (b - a);
    }
};

// Sutherland-Hodgman: the part of polygon inside rect, still one closed ring; good for filling.
QPolygonF clipPolygon(QPolygonF polygon, const QRectF &rect) {
    const ClipEdge edges[] = {{true, rect.left(), true},
                              {true, rect.right(), false},
                              {false, rect.top(), true},
                              {false, rect.bottom(), false}};
    for (const ClipEdge &edge : edges) {
        if (polygon.isEmpty())
            break;
        QPolygonF kept;
        QPointF previous = polygon.last();
        for (const QPointF &point : polygon) {
            if (edge.keeps(point)) {
                if (!edge.keeps(previous))
                    kept << edge.crossing(previous, point);
                kept << point;
            } else if (edge.keeps(previous)) {
                kept << edge.crossing(previous, point);
            }
            previous = point;
        }
        polygon = std::move(kept);
    }
    return polygon;
}

// Liang-Barsky: shortens the segment a-b to its part inside rect; false if none is.
bool clipSegment(QPointF &a, QPointF &b, const QRectF &rect) {
    const QPointF d = b - a;
    const double p[] = {-d.x(), d.x(), -d.y(), d.y()};
    const double q[] = {a.x() - rect.left(), rect.right() - a.x(), a.y() - rect.top(),
                        rect.bottom() - a.y()};
    double enter = 0;
    double leave = 1;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            enter = std::max(enter, t);
        else
            leave = std::min(leave, t);
        if (enter > leave)
            return false;
    }
    b = a + leave * d;
    a = a + enter * d;
    return true;
}

struct View {
    const MapFrame &frame;
    QRectF pixels;  // the drawing, widened by the margin
    QRectF degrees; // the longitudes and latitudes it covers (y grows northwards)
};

View viewOf(const MapFrame &frame) {
    const QRectF pixels =
        QRectF(QPointF(0, 0), frame.size()).adjusted(-kMargin, -kMargin, kMargin, kMargin);
    const GeoPoint northWest = frame.toGeo(pixels.topLeft());
    const GeoPoint southEast = frame.toGeo(pixels.bottomRight());
    return {frame, pixels,
            QRectF(QPointF(northWest.longitude, southEast.latitude),
                   QPointF(southEast.longitude, northWest.latitude))};
}

// The turns round the globe at which shape shows in the view: near the 180th meridian a shape
// may show on both sides.
QList<double> turnsInView(const View &view, const QRectF &bounds) {
    QList<double> turns;
    for (const double turn : {0.0, -360.0, 360.0}) {
        const QRectF shifted = bounds.translated(turn, 0);
        if (shifted.left() <= view.degrees.right() && shifted.right() >= view.degrees.left() &&
            shifted.top() <= view.degrees.bottom() && shifted.bottom() >= view.degrees.top())
            turns << turn;
    }
    return turns;
}

QPolygonF projected(const View &view, const QList<QPointF> &points, double turn) {
    QPolygonF polygon;
    polygon.reserve(points.size());
    for (const QPointF &point : points)
        polygon << view.frame.toPixel({.latitude = point.y(), .longitude = point.x() + turn});
    return polygon;
}

void paintLand(QPainter &painter, const View &view, const WorldOutlines &outlines) {
    QPainterPath land;
    land.setFillRule(Qt::OddEvenFill);
    for (const WorldOutlines::Shape &ring : outlines.land) {
        for (const double turn : turnsInView(view, ring.bounds)) {
            QPolygonF polygon = projected(view, ring.points, turn);
            if (!view.pixels.contains(polygon.boundingRect()))
                polygon = clipPolygon(std::move(polygon), view.pixels);
            if (polygon.size() > 2)
                land.addPolygon(polygon);
        }
    }
    painter.setPen(QPen(kCoast, 1));
    painter.setBrush(OfflineMap::kLand);
    painter.drawPath(land);
}

void paintBorders(QPainter &painter, const View &view, const WorldOutlines &outlines) {
    QPainterPath borders;
    for (const WorldOutlines::Shape &line : outlines.borders) {
        for (const double turn : turnsInView(view, line.bounds)) {
            const QPolygonF points = projected(view, line.points, turn);
            QPointF end;
            for (qsizetype i = 1; i < points.size(); ++i) {
                QPointF a = points[i - 1];
                QPointF b = points[i];
                if (!clipSegment(a, b, view.pixels))
                    continue;
                if (borders.elementCount() == 0 || a != end)
                    borders.moveTo(a);
                borders.lineTo(b);
                end = b;
            }
        }
    }
    painter.setPen(QPen(kBorder, 1, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(borders);
}

// Texts on pale boxes, so that they read over land, sea and lines alike; a box that would cover
// another or leave the map is left out.
class Labels {
public:
    Labels(QPainter &painter, QSizeF size)
        : m_painter(painter)
        , m_bounds(QPointF(0, 0), size) {}

    // anchor is the box's corner or centre, as alignment says.
    QRectF place(const QString &text, QPointF anchor, Qt::Alignment alignment) {
        QRectF box(QPointF(0, 0), QFontMetricsF(m_painter.font()).size(0, text) + QSizeF(6, 2));
        if (alignment & Qt::AlignRight)
            box.moveRight(anchor.x());
        else if (alignment & Qt::AlignHCenter)
            box.moveLeft(anchor.x() - box.width() / 2);
        else
            box.moveLeft(anchor.x());
        if (alignment & Qt::AlignBottom)
            box.moveBottom(anchor.y());
        else if (alignment & Qt::AlignVCenter)
            box.moveTop(anchor.y() - box.height() / 2);
        else
            box.moveTop(anchor.y());
        if (!m_bounds.contains(box) ||
            std::any_of(m_taken.begin(), m_taken.end(),
                        [&box](const QRectF &taken) { return taken.intersects(box); }))
            return QRectF();
        m_taken << box;
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(kTextBackground);
        m_painter.drawRect(box);
        m_painter.setPen(Qt::black);
        m_painter.drawText(box, Qt::AlignCenter, text);
        return box;
    }
    // Keeps labels placed later off area.
    void take(const QRectF &area) { m_taken << area; }

private:
    QPainter &m_painter;
    QRectF m_bounds;
    QList<QRectF> m_taken;
};

struct GraticuleText {
    QPointF anchor; // bottom left of its box
    QString text;
};

// Draws the lines and returns their labels, to be placed once everything else has its place.
QList<GraticuleText> paintGraticule(QPainter &painter, const MapFrame &frame) {
    const QSizeF size = frame.size();
    const GeoPoint northWest = frame.toGeo(QPointF(0, 0));
    const GeoPoint southEast = frame.toGeo(QPointF(size.width(), size.height()));
    const double north = std::min(northWest.latitude, kMercatorLatitudeLimit);
    const double south = std::max(southEast.latitude, -kMercatorLatitudeLimit);
    const double lonStep = graticuleStep(southEast.longitude - northWest.longitude,
                                         std::max(2, int(size.width() / kGraticuleSpacing)));
    const double latStep =
        graticuleStep(north - south, std::max(2, int(size.height() / kGraticuleSpacing)));

    painter.setPen(QPen(kGraticule, 1));
    QList<GraticuleText> labels;
    for (double k = std::ceil(northWest.longitude / lonStep);
         k <= std::floor(southEast.longitude / lonStep); ++k) {
        const double x = frame.toPixel({.latitude = 0, .longitude = k * lonStep}).x();
        painter.drawLine(QPointF(x, 0), QPointF(x, size.height()));
        labels.append(
            {QPointF(x + 3, size.height() - 3), graticuleLabel(k * lonStep, lonStep, false)});
    }
    for (double k = std::ceil(south / latStep); k <= std::floor(north / latStep); ++k) {
        const double y = frame.toPixel({.latitude = k * latStep, .longitude = 0}).y();
        painter.drawLine(QPointF(0, y), QPointF(size.width(), y));
        labels.append({QPointF(3, y - 2), graticuleLabel(k * latStep, latStep, true)});
    }
    return labels;
}

void paintMarker(QPainter &painter, QPointF at) {
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(kMarker);
    painter.drawEllipse(at, 6, 6);
    painter.setPen(QPen(kMarker, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(at, 11, 11);
}

// The bar ends at bottomRight, its length written above it.
void paintScaleBar(QPainter &painter, Labels &labels, const MapFrame &frame, QPointF bottomRight) {
    const ScaleBar bar = scaleBarFor(frame.metresPerPixel(), kScaleBarMax);
    const double y = bottomRight.y() - 4;
    const double left = bottomRight.x() - bar.pixels;
    painter.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(left, y), QPointF(bottomRight.x(), y));
    painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(left, y), QPointF(bottomRight.x(), y));
    painter.drawLine(QPointF(left, y - 5), QPointF(left, y + 3));
    painter.drawLine(QPointF(bottomRight.x(), y - 5), QPointF(bottomRight.x(), y + 3));
    labels.take(QRectF(QPointF(left - 4, y - 6), QPointF(bottomRight.x() + 4, y + 6)));
    labels.place(bar.label, QPointF(bottomRight.x(), y - 7), Qt::AlignRight | Qt::AlignBottom);
}

} // namespace

void paintOfflineMap(QPainter &painter, const MapFrame &frame, const WorldOutlines &outlines,
                     bool placed) {
    const QSizeF size = frame.size();
    const View view = viewOf(frame);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(QPointF(0, 0), size), kBeyondTheWorld);
    const double top = frame.toPixel({.latitude = kMercatorLatitudeLimit}).y();
    const double bottom = frame.toPixel({.latitude = -kMercatorLatitudeLimit}).y();
    painter.fillRect(QRectF(0, top, size.width(), bottom - top), OfflineMap::kSea);
    paintLand(painter, view, outlines);
    paintBorders(painter, view, outlines);
    const QList<GraticuleText> graticule = paintGraticule(painter, frame);

    Labels labels(painter, size);
    const QPointF centre(size.width() / 2, size.height() / 2);
    if (placed) {
        paintMarker(painter, centre);
        labels.take(QRectF(centre - QPointF(13, 13), QSizeF(26, 26)));
    } else {
        const QFont font = painter.font();
        QFont large = font;
        large.setBold(true);
        large.setPointSizeF(font.pointSizeF() * 1.5);
        painter.setFont(large);
        labels.place(kNoPosition, centre, Qt::AlignCenter);
        painter.setFont(font);
    }
    const QPointF corner(size.width() - 8, size.height() - 6);
    paintScaleBar(painter, labels, frame, corner);
    if (frame.zoom() >= kCoarseFromZoom) {
        const double above = QFontMetricsF(painter.font()).height() + 14;
        labels.place(kCoarse, corner - QPointF(0, above), Qt::AlignRight | Qt::AlignBottom);
    }
    for (const GraticuleText &label : graticule)
        labels.place(label.text, label.anchor, Qt::AlignLeft | Qt::AlignBottom);
    painter.restore();
}

OfflineMap::OfflineMap(QWidget *parent)
    : QWidget(parent)
    , m_notice(new QLabel(this)) {
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setTextFormat(Qt::RichText);
    m_notice->setWordWrap(true);
    m_notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The command line in it can be copied.
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_notice->setStyleSheet(QStringLiteral("QLabel { background: rgba(255, 255, 255, 225); "
                                           "padding: 4px 8px; }"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_notice);
    layout->addStretch();
}

void OfflineMap::setReason(const QString &html) {
    m_reason = html;
    updateNotice();
}

void OfflineMap::showMap(const MapRequest &map) {
    m_map = map;
    m_position = fieldPosition(map.latitudeField, map.longitudeField);
    if (m_position)
        m_centre = *m_position;
    updateNotice();
    update();
}

MapFrame OfflineMap::frame() const {
    return MapFrame(m_centre, m_map.zoom, size());
}

void OfflineMap::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    paintOfflineMap(painter, frame(), shippedWorldOutlines(), m_position.has_value());
}

void OfflineMap::updateNotice() {
    m_notice->setText(m_reason + QStringLiteral("<br>") +
                      positionNotice(m_map.latitudeField, m_map.longitudeField));
}
