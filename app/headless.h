#pragma once

struct CommandLine;
class QCoreApplication;

// Runs the monitoring session without any window until SIGINT or SIGTERM, writing every trace
// event to standard output; returns the exit status.
int runHeadless(QCoreApplication &app, const CommandLine &line);
