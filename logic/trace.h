#pragma once

#include <QJsonArray>
#include <QLoggingCategory>

// The trace of what the monitor shows and does, one compact JSON array per event: the headless
// run's output on standard output, and in the window a diagnostic on standard error, there quiet
// unless QT_LOGGING_RULES="pelora.trace.debug=true" switches it on.
Q_DECLARE_LOGGING_CATEGORY(lcTrace)

void trace(const QJsonArray &event);
