#include "windows/receivebuffer.h"

#include "logic/receivelog.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

ReceiveBuffer::ReceiveBuffer(QPlainTextEdit *view, ReceiveLog &log, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_log(log) {
    m_view->setMaximumBlockCount(kViewLines);
    m_viewTimer.setSingleShot(true);
    m_viewTimer.setInterval(kViewDelayMs);
    connect(&m_viewTimer, &QTimer::timeout, this, &ReceiveBuffer::updateView);
    connect(&m_log, &ReceiveLog::appended, this,
            [this](qsizetype from) { show(m_log.text().mid(from)); });
    connect(&m_log, &ReceiveLog::cleared, this, &ReceiveBuffer::clear);
}

ReceiveBuffer::~ReceiveBuffer() = default;

QString ReceiveBuffer::displayText(QStringView chunk) {
    QString shown;
    shown.reserve(chunk.size());
    for (const QChar c : chunk) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\t')
            shown += c;
        else if (u < 0x20)
            shown += QChar(0x2400 + u); // control picture, so NUL and ESC stay visible
        else if (u == 0x7F)
            shown += QChar(0x2421);
        else
            shown += c;
    }
    return shown;
}

void ReceiveBuffer::show(QStringView chunk) {
    // CR LF shows as one line break, a lone CR as one too; a CR at the end of a chunk waits to see
    // whether its line feed comes next.
    QStringView rest = chunk;
    if (m_pendingCarriageReturn) {
        m_pendingCarriageReturn = false;
        if (!rest.startsWith(u'\n'))
            m_unshown += u'\n';
    }
    if (rest.endsWith(u'\r')) {
        m_pendingCarriageReturn = true;
        rest.chop(1);
    }
    QString lines = rest.toString();
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(u'\r', u'\n');
    m_unshown += displayText(lines);
    // Drawing the view for every chunk would cost far more than receiving it: chunks arriving
    // close together are shown together.
    if (!m_unshown.isEmpty() && !m_viewTimer.isActive())
        m_viewTimer.start();
}

void ReceiveBuffer::updateView() {
    m_viewTimer.stop();
    if (m_unshown.isEmpty())
        return;
    QTextDocument *document = m_view->document();
    QScrollBar *vertical = m_view->verticalScrollBar();
    QScrollBar *horizontal = m_view->horizontalScrollBar();
    const bool atEnd = vertical->value() >= vertical->maximum();
    const int top = vertical->value();
    const int left = horizontal->value();
    const int anchorBefore = m_view->textCursor().anchor();
    const int positionBefore = m_view->textCursor().position();
    const int linesBefore = document->blockCount();
    const int charactersBefore = document->characterCount();

    // Once more lines have come than the view keeps, everything it held goes: only the lines it
    // will keep are laid out, so the work stays bounded however far this thread has fallen
    // behind the port.
    qsizetype cut = m_unshown.size();
    int newlines = 0;
    while (newlines < kViewLines && cut > 0 && (cut = m_unshown.lastIndexOf(u'\n', cut - 1)) >= 0)
        ++newlines;
    const bool replaced = newlines == kViewLines;
    if (replaced) {
        m_unshown.remove(0, cut + 1);
        document->clear();
    }
    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    end.insertText(m_unshown);
    // The view drops its oldest lines beyond its maximum; what it drops moves everything up.
    const int droppedLines =
        replaced ? linesBefore : linesBefore + int(m_unshown.count(u'\n')) - document->blockCount();
    const int droppedCharacters =
        replaced ? charactersBefore
                 : charactersBefore + int(m_unshown.size()) - document->characterCount();
    m_unshown.clear();

    // A selection that reaches the end would grow with the inserted text; keep it as it was.
    const int anchor = qMax(0, anchorBefore - droppedCharacters);
    const int position = qMax(0, positionBefore - droppedCharacters);
    if (m_view->textCursor().anchor() != anchor || m_view->textCursor().position() != position) {
        QTextCursor kept(document);
        kept.setPosition(anchor);
        kept.setPosition(position, QTextCursor::KeepAnchor);
        m_view->setTextCursor(kept);
    }
    // Putting the selection back scrolls to it; the user's view goes back where it was.
    horizontal->setValue(left);
    vertical->setValue(atEnd ? vertical->maximum() : qMax(0, top - droppedLines));
}

void ReceiveBuffer::clear() {
    m_unshown.clear();
    m_viewTimer.stop();
    m_pendingCarriageReturn = false;
    m_view->clear();
}
