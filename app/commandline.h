#pragma once

#include "logic/settings.h"
#include "session/session.h"

#include <QString>

#include <optional>

class QCoreApplication;

// What the command line asks for. Without --headless only --help and --version are taken.
struct CommandLine {
    bool headless = false;
    PortSettings input;
    std::optional<PortSettings> output;
    int intervalOption = kDefaultIntervalOption; // index into kPollIntervals
    bool checksumTest = false;
    QString zone = kDefaultZone.toString();
    bool summerTime = false;
};

// Whether the arguments ask for a run without any window, or name any of its options, before an
// application object exists.
bool asksForHeadless(int argc, char *argv[]);
// Help and version are printed without a window system, so they work on a machine without a
// display too.
bool onlyPrints(int argc, char *argv[]);

// Reads the arguments. Prints help, the version or what is wrong itself and ends the process
// then: status 0 for help and version, 1 for a bad command line.
CommandLine parseCommandLine(const QCoreApplication &app);
