#include "logic/trace.h"

#include <QJsonDocument>

Q_LOGGING_CATEGORY(lcTrace, "pelora.trace", QtInfoMsg)

void trace(const QJsonArray &event) {
    if (!lcTrace().isDebugEnabled())
        return;
    qCDebug(lcTrace).noquote() << QString::fromUtf8(
        QJsonDocument(event).toJson(QJsonDocument::Compact));
}
