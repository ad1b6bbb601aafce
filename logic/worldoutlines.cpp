#include "logic/worldoutlines.h"

#include <QFile>
#include <QtEndian>

#include <cstring>

namespace {

const QByteArray kMagic = QByteArrayLiteral("PLW1");

class Reader {
public:
    explicit Reader(const QByteArray &bytes)
        : m_bytes(bytes) {}

    bool failed() const { return m_failed; }

    double float64() {
        if (m_at + 8 > m_bytes.size()) {
            m_failed = true;
            return 0;
        }
        const quint64 bits = qFromLittleEndian<quint64>(m_bytes.constData() + m_at);
        m_at += 8;
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    quint64 varint() {
        quint64 value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (m_at >= m_bytes.size())
                break;
            const auto byte = quint8(m_bytes.at(m_at++));
            value |= quint64(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return value;
        }
        m_failed = true;
        return 0;
    }

    qint64 zigzag() {
        const quint64 value = varint();
        return qint64(value >> 1) ^ -qint64(value & 1);
    }

    // Bytes left: a count larger than this cannot be real.
    qint64 left() const { return m_bytes.size() - m_at; }
    void skip(qint64 count) { m_at += count; }

private:
    const QByteArray &m_bytes;
    qint64 m_at = 0;
    bool m_failed = false;
};

QList<WorldOutlines::Shape> readShapes(Reader &reader, QPointF scale, QPointF translate) {
    QList<WorldOutlines::Shape> shapes;
    const quint64 count = reader.varint();
    if (count > quint64(reader.left()))
        return {};
    shapes.reserve(qsizetype(count));
    for (quint64 s = 0; s < count && !reader.failed(); ++s) {
        const quint64 points = reader.varint();
        if (points > quint64(reader.left()) || points == 0)
            return {};
        WorldOutlines::Shape shape;
        shape.points.reserve(qsizetype(points));
        qint64 x = 0;
        qint64 y = 0;
        double west = 1e9, east = -1e9, south = 1e9, north = -1e9;
        for (quint64 p = 0; p < points && !reader.failed(); ++p) {
            x += reader.zigzag();
            y += reader.zigzag();
            const QPointF point(x * scale.x() + translate.x(), y * scale.y() + translate.y());
            shape.points << point;
            west = std::min(west, point.x());
            east = std::max(east, point.x());
            south = std::min(south, point.y());
            north = std::max(north, point.y());
        }
        shape.bounds = QRectF(QPointF(west, south), QPointF(east, north));
        shapes << shape;
    }
    return reader.failed() ? QList<WorldOutlines::Shape>() : shapes;
}

} // namespace

WorldOutlines readWorldOutlines(const QByteArray &file) {
    if (!file.startsWith(kMagic))
        return {};
    Reader reader(file);
    reader.skip(kMagic.size());
    const double scaleX = reader.float64();
    const double scaleY = reader.float64();
    const double translateX = reader.float64();
    const double translateY = reader.float64();
    const QPointF scale(scaleX, scaleY);
    const QPointF translate(translateX, translateY);
    WorldOutlines outlines;
    outlines.land = readShapes(reader, scale, translate);
    outlines.borders = readShapes(reader, scale, translate);
    if (reader.failed() || reader.left() != 0)
        return {};
    return outlines;
}

const WorldOutlines &shippedWorldOutlines() {
    static const WorldOutlines outlines = [] {
        QFile file(QStringLiteral(":/outlines/world-50m.bin"));
        return file.open(QIODevice::ReadOnly) ? readWorldOutlines(file.readAll()) : WorldOutlines();
    }();
    return outlines;
}

bool ringEncloses(const QList<QPointF> &ring, QPointF point) {
    bool inside = false;
    const qsizetype n = ring.size();
    for (qsizetype i = 0, j = n - 1; i < n; j = i++) {
        const QPointF &a = ring[i];
        const QPointF &b = ring[j];
        if ((a.y() > point.y()) != (b.y() > point.y()) &&
            point.x() < (b.x() - a.x()) * (point.y() - a.y()) / (b.y() - a.y()) + a.x())
            inside = !inside;
    }
    return inside;
}

bool isLand(const WorldOutlines &outlines, GeoPoint point) {
    // Rings that cross the 180th meridian reach past it; look one turn either way as well.
    for (const double turn : {0.0, 360.0, -360.0}) {
        const QPointF at(point.longitude + turn, point.latitude);
        bool inside = false;
        for (const WorldOutlines::Shape &ring : outlines.land) {
            if (at.x() >= ring.bounds.left() && at.x() <= ring.bounds.right() &&
                at.y() >= ring.bounds.top() && at.y() <= ring.bounds.bottom() &&
                ringEncloses(ring.points, at))
                inside = !inside;
        }
        if (inside)
            return true;
    }
    return false;
}
