#pragma once

// Catches the pelora.trace lines while it lives and switches the category off again after;
// every other message goes on to the handler that was there before, so warnings still show.
// One at a time: the message handler is process-wide.
#include <QLoggingCategory>
#include <QStringList>

class TraceCapture {
public:
    TraceCapture() {
        Q_ASSERT(!s_active);
        s_active = this;
        m_previous = qInstallMessageHandler(handle);
        QLoggingCategory::setFilterRules(QStringLiteral("pelora.trace.debug=true"));
    }
    ~TraceCapture() {
        QLoggingCategory::setFilterRules(QStringLiteral("pelora.trace.debug=false"));
        qInstallMessageHandler(m_previous);
        s_active = nullptr;
    }
    TraceCapture(const TraceCapture &) = delete;
    TraceCapture &operator=(const TraceCapture &) = delete;

    const QStringList &lines() const { return m_lines; }
    // Only the events of one kind, e.g. lines(u"field") for the ["field",...] lines.
    QStringList lines(QStringView kind) const {
        const QString prefix = QStringLiteral("[\"").append(kind).append(u'"');
        QStringList found;
        for (const QString &line : m_lines) {
            if (line.startsWith(prefix))
                found.append(line);
        }
        return found;
    }
    void clear() { m_lines.clear(); }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (QByteArrayView(context.category) == "pelora.trace")
            s_active->m_lines.append(message);
        else
            s_active->m_previous(type, context, message);
    }

    inline static TraceCapture *s_active = nullptr;
    QtMessageHandler m_previous = nullptr;
    QStringList m_lines;
};
