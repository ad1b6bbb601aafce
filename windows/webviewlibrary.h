#pragma once

#include "windows/webview.h"

#include <QString>
#include <QStringList>

// Where the web view's library is looked for, in this order: where the package installs it,
// seen from the program; beside the program, as an installation on Windows keeps it; and where
// it was built, for the programs run from the build tree (tests, benchmarks).
QStringList webViewLibraryPlaces();

// The first of those places that holds the library; empty where none does.
QString foundWebViewLibrary();

// Loads the web view's library the first time it is asked, and with it the web engine; after
// that it answers at once. Null when the library is missing or does not load, with why in
// *error. Must run on the user-interface thread, with the application object in place.
MakeWebView loadWebViewLibrary(QString *error = nullptr);
