#include "windows/skyviews.h"

#include <QEvent>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>

#include <cmath>
#include <numbers>

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

QPolygonF regular(QPointF centre, double radius, int corners, double firstAngle) {
    QPolygonF polygon;
    for (int i = 0; i < corners; ++i) {
        const double a = (firstAngle + 360.0 * i / corners) * kRadiansPerDegree;
        polygon << centre + QPointF(radius * std::cos(a), radius * std::sin(a));
    }
    return polygon;
}

// Short texts drawn several times a second (satellite numbers, signal IDs, the scale), laid out
// once per font: laying out a text costs more than drawing it.
const QStaticText &laidOut(const QPainter &painter, const QString &text) {
    static QHash<QString, QStaticText> cache;
    const QString key = painter.font().key() + u'\n' + text;
    auto it = cache.find(key);
    if (it == cache.end()) {
        QStaticText laid(text);
        laid.setTextFormat(Qt::PlainText);
        laid.prepare(QTransform(), painter.font());
        it = cache.insert(key, laid);
    }
    return *it;
}

// Draws the text with the same alignment in the box as QPainter::drawText would.
void drawText(QPainter &painter, const QRectF &box, Qt::Alignment alignment, const QString &text) {
    const QStaticText &laid = laidOut(painter, text);
    const QSizeF size = laid.size();
    double x = box.left();
    if (alignment & Qt::AlignHCenter)
        x = box.center().x() - size.width() / 2;
    else if (alignment & Qt::AlignRight)
        x = box.right() - size.width();
    const double y = box.center().y() - size.height() / 2;
    painter.drawStaticText(QPointF(x, y), laid);
}

} // namespace

SystemStyle styleOf(GnssSystem system) {
    using Shape = SystemStyle::Shape;
    switch (system) {
    case GnssSystem::Gps:
        return {QColor(31, 100, 180), Shape::Circle};
    case GnssSystem::Glonass:
        return {QColor(200, 30, 40), Shape::Square};
    case GnssSystem::Galileo:
        return {QColor(30, 140, 50), Shape::Diamond};
    case GnssSystem::BeiDou:
        return {QColor(230, 120, 0), Shape::TriangleUp};
    case GnssSystem::Qzss:
        return {QColor(130, 70, 170), Shape::TriangleDown};
    case GnssSystem::NavIc:
        return {QColor(130, 85, 60), Shape::Hexagon};
    case GnssSystem::Sbas:
        return {QColor(100, 100, 100), Shape::Cross};
    }
    return {Qt::black, Shape::Circle};
}

void drawSymbol(QPainter &painter, GnssSystem system, QPointF centre, double size, bool filled) {
    using Shape = SystemStyle::Shape;
    const SystemStyle style = styleOf(system);
    const double r = size / 2;
    painter.save();
    painter.setPen(QPen(style.colour, 2));
    painter.setBrush(filled ? QBrush(style.colour) : QBrush(Qt::white));
    switch (style.shape) {
    case Shape::Circle:
        painter.drawEllipse(centre, r, r);
        break;
    case Shape::Square:
        painter.drawRect(QRectF(centre - QPointF(r * 0.85, r * 0.85), QSizeF(r * 1.7, r * 1.7)));
        break;
    case Shape::Diamond:
        painter.drawPolygon(regular(centre, r * 1.15, 4, -90));
        break;
    case Shape::TriangleUp:
        painter.drawPolygon(regular(centre, r * 1.2, 3, -90));
        break;
    case Shape::TriangleDown:
        painter.drawPolygon(regular(centre, r * 1.2, 3, 90));
        break;
    case Shape::Hexagon:
        painter.drawPolygon(regular(centre, r * 1.05, 6, 0));
        break;
    case Shape::Cross: {
        // A plus of some width, so that a hollow one still reads as a shape.
        const double w = r * 0.45;
        QPainterPath plus;
        plus.addRect(QRectF(centre.x() - r, centre.y() - w, 2 * r, 2 * w));
        plus.addRect(QRectF(centre.x() - w, centre.y() - r, 2 * w, 2 * r));
        painter.drawPath(plus.simplified());
        break;
    }
    }
    painter.restore();
}

// ---- the sky plot

SkyPlot::SkyPlot(QWidget *parent)
    : QWidget(parent) {
    setMinimumSize(240, 240 + kLegendHeight);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void SkyPlot::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange)
        m_background = QPixmap();
    QWidget::changeEvent(event);
}

void SkyPlot::setSatellites(QList<SystemSatellites> sky) {
    if (sky == m_sky)
        return;
    m_sky = std::move(sky);
    update();
}

QRectF SkyPlot::plotArea() const {
    const double side = std::min(width(), height() - kLegendHeight) - 40.0;
    return {(width() - side) / 2, 20.0, side, side};
}

QPointF SkyPlot::pointOf(double elevation, double azimuth) const {
    const QRectF area = plotArea();
    const double radius = area.width() / 2 * (90.0 - elevation) / 90.0;
    const double a = azimuth * kRadiansPerDegree;
    return area.center() + QPointF(radius * std::sin(a), -radius * std::cos(a));
}

void SkyPlot::paintBackground(QPainter &painter) const {
    painter.setFont(font());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), Qt::white);
    const QRectF area = plotArea();
    const QPointF centre = area.center();
    const double radius = area.width() / 2;

    painter.setPen(QPen(QColor(150, 150, 150), 1));
    painter.setBrush(QColor(240, 246, 252));
    painter.drawEllipse(centre, radius, radius);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(180, 180, 180), 1, Qt::DashLine));
    for (const double elevation : {30.0, 60.0}) {
        const double r = radius * (90.0 - elevation) / 90.0;
        painter.drawEllipse(centre, r, r);
        painter.drawText(centre + QPointF(3, -r - 2), QStringLiteral("%1°").arg(elevation));
    }
    painter.drawLine(centre - QPointF(radius, 0), centre + QPointF(radius, 0));
    painter.drawLine(centre - QPointF(0, radius), centre + QPointF(0, radius));
    painter.setPen(Qt::black);
    const QFontMetricsF metrics(font());
    const struct {
        QString name;
        double azimuth;
    } points[] = {{QStringLiteral("N"), 0},
                  {QStringLiteral("O"), 90},
                  {QStringLiteral("S"), 180},
                  {QStringLiteral("W"), 270}};
    for (const auto &point : points) {
        const double a = point.azimuth * kRadiansPerDegree;
        const QPointF at =
            centre + QPointF((radius + 10) * std::sin(a), -(radius + 10) * std::cos(a));
        painter.drawText(QRectF(at - QPointF(10, 10), QSizeF(20, 20)), Qt::AlignCenter, point.name);
    }

    // The legend: every system's symbol, then what filled and hollow mean; rows as wide as fits.
    double x = 8;
    double y = height() - kLegendHeight + 10;
    const auto entry = [&](GnssSystem system, bool filled, const QString &name) {
        const double wide = 22 + metrics.horizontalAdvance(name);
        if (x + wide > width() && x > 8) {
            x = 8;
            y += 18;
        }
        drawSymbol(painter, system, QPointF(x + 6, y), 11, filled);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(x + 15, y + 4), name);
        x += wide;
    };
    for (const GnssSystem system : kGnssSystems)
        entry(system, true, systemName(system));
    entry(GnssSystem::Gps, true, QStringLiteral("genutzt"));
    entry(GnssSystem::Gps, false, QStringLiteral("nur im Blick"));
}

// The rings, the points of the compass and the legend change only with the size and the font;
// drawn once into a pixmap, each refresh draws only the satellites over it.
void SkyPlot::paintEvent(QPaintEvent *) {
    const qreal ratio = devicePixelRatioF();
    if (m_background.isNull() || m_background.size() != size() * ratio) {
        m_background = QPixmap(size() * ratio);
        m_background.setDevicePixelRatio(ratio);
        QPainter background(&m_background);
        paintBackground(background);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont small = font();
    small.setPointSizeF(font().pointSizeF() * 0.85);
    painter.setFont(small);
    for (const SystemSatellites &system : m_sky) {
        for (const SkySatellite &satellite : system.satellites) {
            if (!satellite.elevation || !satellite.azimuth)
                continue;
            const QPointF at = pointOf(*satellite.elevation, *satellite.azimuth);
            drawSymbol(painter, system.system, at, 14, satellite.used);
            painter.setPen(Qt::black);
            drawText(painter, QRectF(at + QPointF(8, -8), QSizeF(40, 16)),
                     Qt::AlignLeft | Qt::AlignVCenter, QString::number(satellite.id));
        }
    }
}

// ---- the signal bars

namespace {

constexpr int kBarWidth = 12;
constexpr int kBarGap = 3;
constexpr int kGroupGap = 14;
constexpr int kLeftScale = 34;
constexpr int kBottomLabels = 34;
constexpr int kTopLabels = 16;

} // namespace

SignalBars::SignalBars(QWidget *parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void SignalBars::setSatellites(QList<SystemSatellites> sky) {
    if (sky == m_sky)
        return;
    const int bars = barCount();
    m_sky = std::move(sky);
    // A new width lays the window out again; most changes are of strengths only.
    if (barCount() != bars || m_sky.size() != m_shownSystems) {
        m_shownSystems = m_sky.size();
        updateGeometry();
    }
    update();
}

int SignalBars::barCount() const {
    int count = 0;
    for (const SystemSatellites &system : m_sky)
        for (const SkySatellite &satellite : system.satellites)
            count += std::max<qsizetype>(satellite.snr.size(), 1);
    return count;
}

QSize SignalBars::minimumSizeHint() const {
    return {kLeftScale + barCount() * (kBarWidth + kBarGap) + int(m_sky.size()) * kGroupGap + 10,
            160};
}

QSize SignalBars::sizeHint() const {
    return minimumSizeHint().expandedTo({600, 180});
}

void SignalBars::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const Scale scale{.top = kTopLabels,
                      .bottom = height() - kBottomLabels,
                      .perDb = double(height() - kBottomLabels - kTopLabels) / kTopDb};

    // The scale, every 10 dB-Hz.
    QFont small = font();
    small.setPointSizeF(font().pointSizeF() * 0.8);
    painter.setFont(small);
    for (int db = 0; db <= kTopDb; db += 10) {
        const double y = scale.bottom - db * scale.perDb;
        painter.setPen(QColor(225, 225, 225));
        painter.drawLine(QPointF(kLeftScale, y), QPointF(width(), y));
        painter.setPen(Qt::black);
        drawText(painter, QRectF(0, y - 8, kLeftScale - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                 QString::number(db));
    }
    painter.drawText(QRectF(0, 0, 80, scale.top), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("dB-Hz"));

    int x = kLeftScale + 6;
    for (const SystemSatellites &system : m_sky) {
        if (system.satellites.isEmpty())
            continue;
        const int groupStart = x;
        for (const SkySatellite &satellite : system.satellites)
            x = paintSatellite(painter, scale, system.system, satellite, x);
        painter.setPen(styleOf(system.system).colour);
        drawText(painter, QRectF(groupStart, 0, x - groupStart, scale.top), Qt::AlignCenter,
                 systemName(system.system));
        painter.drawLine(QPointF(groupStart, scale.bottom + 26),
                         QPointF(x - kBarGap, scale.bottom + 26));
        x += kGroupGap;
    }
    painter.setPen(Qt::black);
    painter.drawLine(QPointF(kLeftScale, scale.bottom), QPointF(width(), scale.bottom));
}

// A satellite's bars from x on, with its number below them; returns where the next one starts.
int SignalBars::paintSatellite(QPainter &painter, const Scale &scale, GnssSystem system,
                               const SkySatellite &satellite, int x) const {
    const QColor colour = styleOf(system).colour;
    const QFont small = painter.font();
    const int start = x;
    // A used satellite that is in no GSV group still gets its slot.
    QMap<QString, std::optional<int>> signalsOf = satellite.snr;
    if (signalsOf.isEmpty())
        signalsOf.insert(QString(), std::nullopt);
    for (auto signal = signalsOf.cbegin(); signal != signalsOf.cend(); ++signal) {
        if (signal.value()) {
            const double db = std::clamp(*signal.value(), 0, kTopDb);
            painter.setPen(QPen(colour, 1.5));
            painter.setBrush(satellite.used ? QBrush(colour) : QBrush(colour, Qt::BDiagPattern));
            painter.drawRect(
                QRectF(x, scale.bottom - db * scale.perDb, kBarWidth, db * scale.perDb));
        } else {
            // Not tracked: an empty slot, never a bar of 0.
            painter.setPen(QPen(QColor(170, 170, 170), 1, Qt::DotLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRectF(x, scale.top, kBarWidth, scale.bottom - scale.top)
                                 .adjusted(0.5, 0.5, -0.5, -0.5));
        }
        if (signalsOf.size() > 1) {
            painter.setPen(Qt::darkGray);
            drawText(painter, QRectF(x - 2, scale.bottom + 1, kBarWidth + 4, 12), Qt::AlignCenter,
                     signal.key());
        }
        x += kBarWidth + kBarGap;
    }
    painter.setPen(satellite.used ? Qt::black : Qt::darkGray);
    QFont label = small;
    label.setBold(satellite.used);
    painter.setFont(label);
    drawText(painter, QRectF(start - 6, scale.bottom + 12, x - start + 9, 12), Qt::AlignCenter,
             QString::number(satellite.id));
    painter.setFont(small);
    return x;
}
