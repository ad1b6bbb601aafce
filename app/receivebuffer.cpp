#include "app/receivebuffer.h"

#include "app/trace.h"
#include "nmea/sentence.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

#include <algorithm>

ReceiveBuffer::ReceiveBuffer(QPlainTextEdit *view, QObject *parent)
    : QObject(parent)
    , m_view(view) {}

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
    QScrollBar *horizontal = m_view->horizontalScrollBar();
    const bool atEnd = vertical->value() >= vertical->maximum();
    const int top = vertical->value();
    const int left = horizontal->value();
    // A selection that reaches the end would grow with the inserted text; keep it as it was.
    const QTextCursor user = m_view->textCursor();
    const int anchor = user.anchor();
    const int position = user.position();
    QTextCursor end(m_view->document());
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
    if (m_view->textCursor().anchor() != anchor || m_view->textCursor().position() != position) {
        QTextCursor kept(m_view->document());
        kept.setPosition(anchor);
        kept.setPosition(position, QTextCursor::KeepAnchor);
        m_view->setTextCursor(kept);
    }
    // Putting the selection back scrolls to it; the user's view goes back where it was.
    horizontal->setValue(left);
    vertical->setValue(atEnd ? vertical->maximum() : top);
}

std::optional<QStringView> ReceiveBuffer::firstSentence(QStringView tag) {
    auto extractor = std::find_if(m_extractors.begin(), m_extractors.end(),
                                  [tag](const SentenceExtractor &e) { return e.tag() == tag; });
    if (extractor == m_extractors.end())
        extractor = m_extractors.insert(m_extractors.end(), SentenceExtractor(tag));
    return extractor->extract(m_text);
}

void ReceiveBuffer::clear() {
    m_text.clear();
    m_pendingCarriageReturn = false;
    for (SentenceExtractor &extractor : m_extractors)
        extractor.reset();
    m_view->clear();
    trace({QStringLiteral("buffer"), QStringLiteral("cleared")});
}
