#pragma once

#include <functional>

class QObject;

// Runs stop on the thread of context, through its event loop, when the user asks the process to
// end from outside: Ctrl+C or SIGTERM, or on Windows a console close. The one place where the
// platforms differ in how that is asked.
void onStopRequest(QObject *context, std::function<void()> stop);
