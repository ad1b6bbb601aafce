#pragma once

#include "logic/sky.h"

#include <QColor>
#include <QList>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

// How a system is drawn: a colour, and a symbol shape of its own so that the plot reads in grey.
struct SystemStyle {
    enum class Shape { Circle, Square, Diamond, TriangleUp, TriangleDown, Hexagon, Cross };
    QColor colour;
    Shape shape;
};
SystemStyle styleOf(GnssSystem system);

// The satellites of one system, as the views draw them.
struct SystemSatellites {
    GnssSystem system;
    QList<SkySatellite> satellites;
    bool operator==(const SystemSatellites &) const = default;
};

// The sky seen from the receiver: north up, the horizon as the outer ring, rings at 30° and 60°,
// each satellite at its azimuth and elevation with its number, filled when used in the fix and
// hollow when only in view; a legend of the systems below. Satellites without elevation or
// azimuth are not placed.
class SkyPlot : public QWidget {
    Q_OBJECT
public:
    explicit SkyPlot(QWidget *parent = nullptr);

    void setSatellites(QList<SystemSatellites> sky);
    // Where a direction lies in the widget: the centre at 90°, the rim at 0°, east to the right.
    QPointF pointOf(double elevation, double azimuth) const;

    QSize sizeHint() const override { return {360, 400}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return width + kLegendHeight; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    static constexpr int kLegendHeight = 60; // room for three rows
    QRectF plotArea() const;
    void paintBackground(QPainter &painter) const;

    QList<SystemSatellites> m_sky;
    QPixmap m_background;
};

// One bar per satellite and signal, C/N0 on a fixed 0–60 dB-Hz scale, grouped by system; used
// satellites' bars filled, the others hollow; a signal in view but not tracked is an empty slot.
class SignalBars : public QWidget {
    Q_OBJECT
public:
    explicit SignalBars(QWidget *parent = nullptr);

    void setSatellites(QList<SystemSatellites> sky);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static constexpr int kTopDb = 60;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Scale {
        int top;      // of the bars' area
        int bottom;   // 0 dB-Hz
        double perDb; // pixels
    };
    int barCount() const;
    int paintSatellite(QPainter &painter, const Scale &scale, GnssSystem system,
                       const SkySatellite &satellite, int x) const;

    QList<SystemSatellites> m_sky;
    qsizetype m_shownSystems = 0;
};

// Draws a system's symbol centred on a point; used by both views and their legends.
void drawSymbol(QPainter &painter, GnssSystem system, QPointF centre, double size, bool filled);
