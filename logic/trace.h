#pragma once

#include <QJsonArray>
#include <QLoggingCategory>

// Diagnostic trace of what the monitor shows and does, one compact JSON array per line.
// Quiet by default; QT_LOGGING_RULES="pelora.trace.debug=true" switches it on.
Q_DECLARE_LOGGING_CATEGORY(lcTrace)

void trace(const QJsonArray &event);
