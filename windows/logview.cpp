#include "windows/logview.h"

#include "logic/receivelog.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QtMath>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// How one received character shows: control characters as their control picture, so that NUL
// or ESC stay visible; a tab as a blank cell.
QChar shown(QChar c) {
    const char16_t u = c.unicode();
    if (u == u'\t')
        return u' ';
    if (u < 0x20)
        return QChar(char16_t(0x2400 + u));
    if (u == 0x7F)
        return QChar(char16_t(0x2421));
    return c;
}

int clampToInt(qsizetype value) {
    return int(std::clamp<qsizetype>(value, 0, INT_MAX));
}

} // namespace

LogView::LogView(QWidget *parent)
    : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    // A fixed pitch puts every character on a grid: columns need no shaping of the text.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setKerning(false);
    setFont(font);
    // The view paints every pixel itself, so that scrolling can move what is shown instead of
    // drawing it all anew.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    fontChanged();
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &LogView::refresh);
}

LogView::~LogView() = default;

void LogView::setLog(const ReceiveLog *log) {
    if (m_log)
        disconnect(m_log, nullptr, this, nullptr);
    m_log = log;
    emptied();
    if (!m_log)
        return;
    connect(m_log, &ReceiveLog::appended, this, &LogView::received);
    connect(m_log, &ReceiveLog::cleared, this, &LogView::emptied);
    if (m_log->size() > 0) {
        received(0);
        refresh();
    }
}

void LogView::received(qsizetype from) {
    if (m_firstUnshownLine < 0)
        m_firstUnshownLine = lineCount() - 1;
    index(from);
    if (!m_refreshTimer.isActive())
        m_refreshTimer.start();
}

void LogView::refresh() {
    m_refreshTimer.stop();
    if (m_firstUnshownLine < 0)
        return;
    QScrollBar *vertical = verticalScrollBar();
    const bool following = vertical->value() >= vertical->maximum();
    updateScrollBars();
    if (following)
        vertical->setValue(vertical->maximum());
    // Only the lines that changed are drawn: what scrolling moved is there already, and lines
    // below the screen need no paint. The scroll bars repaint themselves.
    const qsizetype top = vertical->value();
    if (m_firstUnshownLine <= top + visibleLines()) {
        const int y = int(std::max<qsizetype>(0, m_firstUnshownLine - top) * m_lineHeight);
        viewport()->update(0, y, viewport()->width(), viewport()->height() - y);
    }
    m_firstUnshownLine = -1;
}

void LogView::emptied() {
    m_refreshTimer.stop();
    m_firstUnshownLine = -1;
    m_lineStarts.assign(1, 0);
    m_pendingCarriageReturn = false;
    m_longestLine = 0;
    m_anchor = m_cursor = 0;
    updateScrollBars();
    viewport()->update();
}

// Line starts for what arrived from `from` on; O(length of the new text).
void LogView::index(qsizetype from) {
    const QStringView text = m_log->text();
    qsizetype at = from;
    if (m_pendingCarriageReturn && at < text.size()) {
        m_pendingCarriageReturn = false;
        if (text[at] != u'\n')
            startLine(at);
    }
    for (; at < text.size(); ++at) {
        const char16_t c = text[at].unicode();
        if (c == u'\n') {
            startLine(at + 1);
        } else if (c == u'\r') {
            // CR LF is one line end, even with the LF still to come in the next chunk.
            if (at + 1 == text.size())
                m_pendingCarriageReturn = true;
            else if (text[at + 1] != u'\n')
                startLine(at + 1);
        }
    }
    const qsizetype last = lineCount() - 1;
    m_longestLine = std::max(m_longestLine, lineEnd(last) - m_lineStarts[last]);
}

void LogView::startLine(qsizetype at) {
    const qsizetype ended = lineCount() - 1;
    m_lineStarts.push_back(at);
    m_longestLine = std::max(m_longestLine, lineEnd(ended) - m_lineStarts[ended]);
}

// Position just after the line's last character, before its line end.
qsizetype LogView::lineEnd(qsizetype line) const {
    const qsizetype start = m_lineStarts[line];
    if (!m_log)
        return start;
    const QStringView text = m_log->text();
    qsizetype end = line + 1 < lineCount() ? m_lineStarts[line + 1] : text.size();
    if (end > start && text[end - 1] == u'\n')
        --end;
    if (end > start && text[end - 1] == u'\r')
        --end;
    return end;
}

QString LogView::lineText(qsizetype line) const {
    if (!m_log || line < 0 || line >= lineCount())
        return QString();
    const QStringView characters =
        m_log->text().sliced(m_lineStarts[line], lineEnd(line) - m_lineStarts[line]);
    QString text(characters.size(), Qt::Uninitialized);
    std::transform(characters.begin(), characters.end(), text.begin(), shown);
    return text;
}

QString LogView::selectedText() const {
    if (!m_log)
        return QString();
    const qsizetype from = std::min(m_anchor, m_cursor);
    const qsizetype to = std::max(m_anchor, m_cursor);
    return m_log->text().sliced(from, to - from).toString();
}

void LogView::selectAll() {
    m_anchor = 0;
    m_cursor = m_log ? m_log->size() : 0;
    viewport()->update();
}

void LogView::copy() const {
    const QString text = selectedText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void LogView::fontChanged() {
    const QFontMetricsF metrics(font());
    m_columnWidth = std::max<qreal>(1, metrics.horizontalAdvance(u'0'));
    m_lineHeight = std::max(1, qCeil(metrics.lineSpacing()));
    m_ascent = qCeil(metrics.ascent());
    // Each Latin-1 character's glyph, looked up once: drawing a line is then placing glyphs on
    // the grid, with no shaping of its text at every paint.
    m_rawFont = QRawFont::fromFont(font());
    for (int code = 0; code < int(m_glyphs.size()); ++code) {
        const QChar symbol = shown(QChar(char16_t(code)));
        const QList<quint32> glyphs = m_rawFont.glyphIndexesForString(QString(symbol));
        const bool fits =
            metrics.inFont(symbol) && glyphs.size() == 1 && glyphs.front() != 0 &&
            qFuzzyCompare(m_rawFont.advancesForGlyphIndexes(glyphs).front().x(), m_columnWidth);
        m_glyphs[code] = fits ? glyphs.front() : 0;
    }
    updateScrollBars();
    viewport()->update();
}

int LogView::visibleLines() const {
    return std::max(1, viewport()->height() / m_lineHeight);
}

int LogView::visibleColumns() const {
    return std::max(1, int(viewport()->width() / m_columnWidth));
}

void LogView::updateScrollBars() {
    const int lines = visibleLines();
    verticalScrollBar()->setPageStep(lines);
    verticalScrollBar()->setRange(0, clampToInt(lineCount() - lines));
    const int columns = visibleColumns();
    horizontalScrollBar()->setPageStep(columns);
    // One column more than the longest line: room for the mark of a selected line end.
    horizontalScrollBar()->setRange(0, clampToInt(m_longestLine + 1 - columns));
}

QRectF LogView::cellRect(qsizetype line, qsizetype column) const {
    const qsizetype top = verticalScrollBar()->value();
    const qsizetype left = horizontalScrollBar()->value();
    return QRectF(qreal(column - left) * m_columnWidth, qreal((line - top) * m_lineHeight),
                  m_columnWidth, m_lineHeight);
}

qsizetype LogView::offsetAt(QPointF point) const {
    if (!m_log)
        return 0;
    const qsizetype line =
        verticalScrollBar()->value() + qsizetype(std::floor(point.y() / m_lineHeight));
    if (line < 0)
        return 0;
    if (line >= lineCount())
        return m_log->size();
    // Between two characters: the nearer cell border.
    const qsizetype column =
        horizontalScrollBar()->value() + qsizetype(std::round(point.x() / m_columnWidth));
    const qsizetype start = m_lineStarts[line];
    return start + std::clamp<qsizetype>(column, 0, lineEnd(line) - start);
}

void LogView::drawCells(QPainter &painter, qsizetype line, qsizetype from, qsizetype to) const {
    const QStringView characters = m_log->text().sliced(m_lineStarts[line] + from, to - from);
    const qreal baseline = cellRect(line, 0).top() + m_ascent;
    const qreal left = cellRect(line, from).left();
    m_runGlyphs.clear();
    m_runPositions.clear();
    for (qsizetype k = 0; k < characters.size(); ++k) {
        const char16_t c = characters[k].unicode();
        const QPointF at(left + qreal(k) * m_columnWidth, baseline);
        if (c < m_glyphs.size() && m_glyphs[c] != 0) {
            m_runGlyphs.append(m_glyphs[c]);
            m_runPositions.append(at);
            continue;
        }
        // A symbol from another font: on its own, in its cell, so it cannot push the rest off
        // the grid.
        painter.drawText(at, QString(shown(QChar(c))));
    }
    if (m_runGlyphs.isEmpty())
        return;
    QGlyphRun run;
    run.setRawFont(m_rawFont);
    run.setGlyphIndexes(m_runGlyphs);
    run.setPositions(m_runPositions);
    painter.drawGlyphRun(QPointF(), run);
}

void LogView::paintEvent(QPaintEvent *event) {
    if (!m_log)
        return;
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().brush(QPalette::Base));
    painter.setFont(font());
    const qsizetype top = verticalScrollBar()->value();
    const qsizetype left = horizontalScrollBar()->value();
    // A glyph may reach a pixel beyond its line: the neighbours of the lines to paint are drawn
    // too, into the area to paint only, so that a scrolled screen matches a fresh one.
    const qsizetype first = std::max<qsizetype>(0, top + event->rect().top() / m_lineHeight - 1);
    const qsizetype last =
        std::min(lineCount() - 1, top + event->rect().bottom() / m_lineHeight + 1);
    const qsizetype selectionFrom = std::min(m_anchor, m_cursor);
    const qsizetype selectionTo = std::max(m_anchor, m_cursor);
    const QPalette &colours = palette();

    for (qsizetype line = first; line <= last; ++line) {
        const qsizetype start = m_lineStarts[line];
        const qsizetype length = lineEnd(line) - start;
        const qsizetype from = std::min(left, length);
        const qsizetype to = std::min(length, left + visibleColumns() + 1);
        painter.setPen(colours.color(QPalette::Text));
        drawCells(painter, line, from, to);

        if (selectionFrom == selectionTo || selectionTo <= start || selectionFrom > start + length)
            continue;
        // A selected line end shows as one selected cell after the line's last character.
        const qsizetype selectedFrom = std::max(selectionFrom - start, qsizetype(0));
        const qsizetype selectedTo = std::min(selectionTo - start, length + 1);
        QRectF band = cellRect(line, selectedFrom);
        band.setRight(cellRect(line, selectedTo).left());
        painter.fillRect(band, colours.brush(QPalette::Highlight));
        painter.save();
        painter.setClipRect(band);
        painter.setPen(colours.color(QPalette::HighlightedText));
        drawCells(painter, line, std::clamp(selectedFrom, from, to),
                  std::clamp(std::min(selectedTo, length), from, to));
        painter.restore();
    }
}

void LogView::resizeEvent(QResizeEvent *event) {
    QScrollBar *vertical = verticalScrollBar();
    const bool following = vertical->value() >= vertical->maximum();
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    if (following)
        vertical->setValue(vertical->maximum());
}

void LogView::scrollContentsBy(int dx, int dy) {
    // Scrolling goes by lines and columns. Following what arrives, a few lines at a time, moves
    // what is shown and draws only the lines that come into view; anything else draws anew.
    if (dx == 0 && std::abs(dy) < visibleLines())
        viewport()->scroll(0, dy * m_lineHeight);
    else
        viewport()->update();
}

void LogView::changeEvent(QEvent *event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fontChanged();
}

void LogView::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::MoveToStartOfDocument)) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    } else if (event->matches(QKeySequence::MoveToEndOfDocument)) {
        // Back at the end, the view follows what arrives again.
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    } else {
        // Arrows and page keys scroll; anything typed is ignored, the log is not for editing.
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void LogView::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const qsizetype at = offsetAt(event->position());
    if (!(event->modifiers() & Qt::ShiftModifier))
        m_anchor = at;
    m_cursor = at;
    viewport()->update();
}

void LogView::mouseMoveEvent(QMouseEvent *event) {
    if (!(event->buttons() & Qt::LeftButton))
        return;
    // Dragging past an edge scrolls that way, a line or a column per move.
    const QPointF point = event->position();
    if (point.y() < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.y() > viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (point.x() < 0)
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.x() > viewport()->width())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    m_cursor = offsetAt(point);
    viewport()->update();
}

void LogView::mouseReleaseEvent(QMouseEvent *event) {
    // The selection is complete with the last move; the release only ends the drag.
    if (event->button() != Qt::LeftButton)
        QAbstractScrollArea::mouseReleaseEvent(event);
}

void LogView::contextMenuEvent(QContextMenuEvent *event) {
    // Shown without a nested event loop: data and ticks go on while the menu is open.
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *copyAction = menu->addAction(QStringLiteral("Kopieren"), this, &LogView::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(m_anchor != m_cursor);
    QAction *all =
        menu->addAction(QStringLiteral("Alles ausw\u00e4hlen"), this, &LogView::selectAll);
    all->setShortcut(QKeySequence::SelectAll);
    menu->popup(event->globalPos());
}
