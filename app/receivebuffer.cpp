#include "app/receivebuffer.h"

#include "app/trace.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

ReceiveBuffer::ReceiveBuffer(QPlainTextEdit *view, QObject *parent)
    : QObject(parent)
    , m_view(view) {}

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

void ReceiveBuffer::append(const QString &chunk) {
    if (chunk.isEmpty())
        return;
    m_text += chunk;

    // CR LF shows as one line break, a lone CR as one too; a CR at the end of a chunk waits to see
    // whether its line feed comes next.
    QString shown;
    QStringView rest = chunk;
    if (m_pendingCarriageReturn) {
        m_pendingCarriageReturn = false;
        if (!rest.startsWith(u'\n'))
            shown += u'\n';
    }
    if (rest.endsWith(u'\r')) {
        m_pendingCarriageReturn = true;
        rest.chop(1);
    }
    QString lines = rest.toString();
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(u'\r', u'\n');
    shown += displayText(lines);
    if (shown.isEmpty())
        return;

    QScrollBar *vertical = m_view->verticalScrollBar();
    const bool atEnd = vertical->value() >= vertical->maximum();
    QTextCursor end(m_view->document());
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
    if (atEnd)
        vertical->setValue(vertical->maximum());
}

void ReceiveBuffer::clear() {
    m_text.clear();
    m_pendingCarriageReturn = false;
    m_view->clear();
    trace({QStringLiteral("buffer"), QStringLiteral("cleared")});
}
