#pragma once

// What every benchmark does before it measures: a platform that needs no display, the options
// with --help, the recorded receiver text, the pseudo-terminal pairs and a session on them.

#include "session/session.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QList>
#include <QString>

#include <optional>

class PtyPair;
class QCommandLineParser;
class QCoreApplication;

// Before the application object: the offscreen platform unless QT_QPA_PLATFORM names another, so
// that a benchmark runs alike on a desktop and on a machine without one. The platform's notice
// about size hints says nothing about the figures and is dropped.
void preferOffscreen();

// The benchmark's options with --help; ends the process after the help or at a bad option.
void parseOptions(QCommandLineParser &parser, const QCoreApplication &app,
                  const QString &description, const QList<QCommandLineOption> &options);

// --log FILE: the recorded receiver log, by default the one the tests read.
QCommandLineOption logOption(const QString &help);
// The recorded receiver text, without the comment lines its collector put on top. Empty, and
// said so on standard error, when the file cannot be read or holds nothing else.
QByteArray readReceiverText(const QString &path);

// The poll intervals as a help text names them: "200, 500, 800, 1000 or 5000".
QString pollIntervalChoices();
// The option of the interval group for a poll interval in ms; none, and said so, when no option
// has it.
std::optional<int> intervalOption(int ms);

// Starts both pairs; false, with socat's complaint on standard error, when either did not come
// up.
bool startPairs(PtyPair &input, PtyPair &output);

// Chooses the poll interval and activates the output (when given) before the input, so that
// nothing received passes it by. False, with what failed on standard error, when the interval
// is none of the options or a port is not open.
bool startSession(Session &session, int intervalMs, const PortSettings &input,
                  const std::optional<PortSettings> &output = std::nullopt);
