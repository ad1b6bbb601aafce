#pragma once

#include "logic/settings.h"

#include <QAbstractScrollArea>
#include <QList>
#include <QPointer>
#include <QRawFont>
#include <QRectF>
#include <QString>
#include <QTimer>

#include <array>
#include <vector>

class QPainter;
class ReceiveLog;

// Read-only view of a receive log that lays out only the lines on screen, so that receiving and
// painting cost the same whether the log holds a kilobyte or many megabytes.
//
// CR LF, a lone CR and a lone LF each end a line; other control characters show as visible
// symbols. Every character takes one cell of a fixed-pitch grid, a tab included, so a
// character's column is its distance from the start of its line. The user can select and copy:
// what is copied are the received characters themselves, line ends as they arrived.
class LogView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LogView(QWidget *parent = nullptr);
    ~LogView() override;

    // The log shown; the view only reads it.
    void setLog(const ReceiveLog *log);

    qsizetype lineCount() const { return qsizetype(m_lineStarts.size()); }
    // A line as shown, without its line end.
    QString lineText(qsizetype line) const;
    // The received characters between the selection's ends.
    QString selectedText() const;
    // Where the character at this line and column is drawn, in viewport coordinates.
    QRectF cellRect(qsizetype line, qsizetype column) const;

    void selectAll();
    void copy() const;

    // Brings scroll bars and screen up to what has arrived, now rather than within kRefreshMs.
    void refresh();
    // Painting after every chunk would cost far more than receiving it: what arrives within this
    // time is shown together, at the rate received text is handed over.
    static constexpr int kRefreshMs = kHandOverMs;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void received(qsizetype from);
    void emptied();
    void index(qsizetype from);
    void startLine(qsizetype at);
    void fontChanged();
    void updateScrollBars();
    qsizetype lineEnd(qsizetype line) const;
    qsizetype offsetAt(QPointF point) const;
    int visibleLines() const;
    int visibleColumns() const;
    void drawCells(QPainter &painter, qsizetype line, qsizetype from, qsizetype to) const;

    QPointer<const ReceiveLog> m_log;
    // Position of each line's first character in the log; the first line starts at 0.
    std::vector<qsizetype> m_lineStarts{0};
    // The log ends in a CR whose LF may still come: the next line has not started yet.
    bool m_pendingCarriageReturn = false;
    qsizetype m_longestLine = 0; // in characters, for the horizontal range
    // The selection, as log positions: where it began and where it now ends.
    qsizetype m_anchor = 0;
    qsizetype m_cursor = 0;
    QTimer m_refreshTimer;
    qsizetype m_firstUnshownLine = -1; // first line changed since the last refresh, if any

    qreal m_columnWidth = 1;
    int m_lineHeight = 1;
    int m_ascent = 0;
    // The glyph of each Latin-1 character's symbol in the view's font, where it is exactly one
    // cell wide; 0 for symbols drawn with a font of their own, cell by cell.
    QRawFont m_rawFont;
    std::array<quint32, 256> m_glyphs{};
    // Kept between paints, so that drawing a line allocates nothing.
    mutable QList<quint32> m_runGlyphs;
    mutable QList<QPointF> m_runPositions;
};
