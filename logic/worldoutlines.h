#pragma once

#include "logic/mapgeometry.h"

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QRectF>

// The land and the borders between countries at 1:50 million, from Natural Earth (see
// logic/data/SOURCES.md). Points are x longitude, y latitude, in degrees. A shape that crosses
// the 180th meridian runs on past ±180° instead of being cut there.
struct WorldOutlines {
    struct Shape {
        QList<QPointF> points;
        QRectF bounds;
    };
    // Closed rings; lakes and other holes are rings as well, so a point is on land when an odd
    // number of rings enclose it.
    QList<Shape> land;
    // Open lines, each between two countries.
    QList<Shape> borders;
};

// Reads the file tools/outlines/convert.mjs writes; empty outlines for anything else.
WorldOutlines readWorldOutlines(const QByteArray &file);

// The outlines the program carries, read on first use and shared from then on.
const WorldOutlines &shippedWorldOutlines();

// Whether ring, taken as closed, encloses point (ray casting; a point on an edge may go either
// way).
bool ringEncloses(const QList<QPointF> &ring, QPointF point);

// Whether point lies on land by these outlines.
bool isLand(const WorldOutlines &outlines, GeoPoint point);
