#pragma once

#include "io/presentports.h"
#include "logic/netaddress.h"
#include "logic/webengine.h"
#include "windows/pageloader.h"

#include <QString>
#include <QStringList>

#include <functional>

// What the program asks of the desktop around it. The defaults are the real services; tests
// pass doubles so that no browser opens and no program starts.
struct Desktop {
    // Hands a text to the desktop's default handler for addresses and documents; false when
    // nothing took it (no handler for it, or none at all).
    std::function<bool(const QString &text)> openUrl = openWithDefaultHandler;
    // Starts a program by bare name through the usual program search, detached; true if started.
    std::function<bool(const QString &program)> startProgram = startDetached;
    // Makes the browser behind the map window: the web engine's where it can run, else the map
    // drawn from the shipped outlines, with a notice saying why there is no web map.
    PageLoaderFactory makePageLoader = makeMapPageLoader;
    // The serial devices present right now, as texts for the port lists.
    std::function<QStringList()> presentPorts = presentPortTexts;
    // Where the input list looks for a gpsd on this machine to offer.
    quint16 gpsdPort = kGpsdPort;

    static bool openWithDefaultHandler(const QString &text);
    static bool startDetached(const QString &program);
    static std::unique_ptr<PageLoader> makeMapPageLoader(QWidget *browserArea);
};

// What keeps the web engine from running in this process, decided once, the first time it is
// asked, without creating any part of the engine. The program asks before it starts the engine.
WebEngineObstacle obstacleToWebEngine();

// Whether this process has administrator rights; the one place the platforms differ here.
bool runsAsRoot();

// The coordinate converter's file name on this platform.
QString converterProgram();
