#include "windows/desktop.h"

#include "logic/mappages.h"
#include "windows/offlinepageloader.h"
#include "windows/webpageloader.h"
#include "windows/webviewlibrary.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>
#include <QUrl>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

QStringList engineProcessPlaces() {
    return engineProcessCandidates(QProcessEnvironment::systemEnvironment(),
                                   QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath),
                                   QCoreApplication::applicationDirPath());
}

WebEngineObstacle findWebEngineObstacle() {
    if (sandboxRefusesRoot(runsAsRoot(), QProcessEnvironment::systemEnvironment()))
        return WebEngineObstacle::RootWithSandbox;
    if (foundWebViewLibrary().isEmpty())
        return WebEngineObstacle::LibraryMissing;
    const QStringList places = engineProcessPlaces();
    if (std::none_of(places.begin(), places.end(),
                     [](const QString &path) { return QFileInfo::exists(path); }))
        return WebEngineObstacle::ProcessMissing;
    return WebEngineObstacle::None;
}

} // namespace

bool Desktop::openWithDefaultHandler(const QString &text) {
    return QDesktopServices::openUrl(QUrl(text, QUrl::TolerantMode));
}

bool Desktop::startDetached(const QString &program) {
    return QProcess::startDetached(program, {});
}

std::unique_ptr<PageLoader> Desktop::makeMapPageLoader(QWidget *browserArea) {
    switch (const WebEngineObstacle obstacle = obstacleToWebEngine()) {
    case WebEngineObstacle::None:
        break;
    case WebEngineObstacle::LibraryMissing:
        return std::make_unique<OfflinePageLoader>(
            browserArea, noWebMapNotice(obstacle, webViewLibraryPlaces()));
    default:
        return std::make_unique<OfflinePageLoader>(browserArea,
                                                   noWebMapNotice(obstacle, engineProcessPlaces()));
    }
    QString error;
    if (const MakeWebView makeView = loadWebViewLibrary(&error))
        return std::make_unique<WebPageLoader>(browserArea, makeView);
    return std::make_unique<OfflinePageLoader>(browserArea, brokenWebViewNotice(error));
}

WebEngineObstacle obstacleToWebEngine() {
    static const WebEngineObstacle obstacle = findWebEngineObstacle();
    return obstacle;
}

bool runsAsRoot() {
#ifdef Q_OS_UNIX
    return geteuid() == 0;
#else
    // Elsewhere the engine runs with administrator rights as it does without.
    return false;
#endif
}

QString converterProgram() {
#ifdef Q_OS_WIN
    return QStringLiteral("tabrex.exe");
#else
    return QStringLiteral("tabrex");
#endif
}
