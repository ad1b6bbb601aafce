#pragma once

#include "windows/pageloader.h"

#include <QString>

#include <functional>

// What the program asks of the desktop around it. The defaults are the real services; tests
// pass doubles so that no browser opens and no program starts.
struct Desktop {
    // Hands a text to the desktop's default handler for addresses and documents; false when
    // nothing took it (no handler for it, or none at all).
    std::function<bool(const QString &text)> openUrl = openWithDefaultHandler;
    // Starts a program by bare name through the usual program search, detached; true if started.
    std::function<bool(const QString &program)> startProgram = startDetached;
    // Makes the browser behind the map window.
    PageLoaderFactory makePageLoader = makeWebPageLoader;

    static bool openWithDefaultHandler(const QString &text);
    static bool startDetached(const QString &program);
    static std::unique_ptr<PageLoader> makeWebPageLoader(QWidget *browserArea);
};

// The coordinate converter's file name on this platform.
QString converterProgram();
