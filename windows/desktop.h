#pragma once

#include "io/presentports.h"
#include "windows/pageloader.h"

#include <QString>
#include <QStringList>

#include <functional>

// What the program asks of the desktop around it. The defaults are the real services; tests
// pass doubles so that no browser opens and no program starts.
struct Desktop {
    // Hands a text to the desktop's default handler for addresses and documents.
    std::function<void(const QString &text)> openUrl = openWithDefaultHandler;
    // Starts a program by bare name through the usual program search, detached; true if started.
    std::function<bool(const QString &program)> startProgram = startDetached;
    // Makes the browser behind the map window.
    PageLoaderFactory makePageLoader = makeWebPageLoader;
    // The serial devices present right now, as texts for the port lists.
    std::function<QStringList()> presentPorts = presentPortTexts;

    static void openWithDefaultHandler(const QString &text);
    static bool startDetached(const QString &program);
    static std::unique_ptr<PageLoader> makeWebPageLoader(QWidget *browserArea);
};

// The coordinate converter's file name on this platform.
QString converterProgram();
