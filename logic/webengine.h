#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What keeps the web engine behind the map window from running in this process. It is decided
// before any part of the engine exists: once started, the engine ends the whole program on
// these faults instead of reporting them.
enum class WebEngineObstacle {
    None,
    // Its sandbox refuses to run with administrator rights and ends the process.
    RootWithSandbox,
    // The engine's helper program is missing; the engine aborts the process.
    ProcessMissing,
    // The program's own library that holds the web view is missing.
    LibraryMissing,
};

// True when the engine would refuse to start: running as root, and the user has switched the
// sandbox off neither with QTWEBENGINE_DISABLE_SANDBOX (set, whatever its value) nor with
// --no-sandbox among QTWEBENGINE_CHROMIUM_FLAGS.
bool sandboxRefusesRoot(bool runsAsRoot, const QProcessEnvironment &environment);

// Where the engine looks for its helper program QtWebEngineProcess: only the path in
// QTWEBENGINEPROCESS_PATH if that is set, else the folder of Qt's helper programs and the
// program's own folder.
QStringList engineProcessCandidates(const QProcessEnvironment &environment,
                                    const QString &qtHelperFolder, const QString &programFolder);
