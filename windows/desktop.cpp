#include "windows/desktop.h"

#include "windows/webpageloader.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

bool Desktop::openWithDefaultHandler(const QString &text) {
    return QDesktopServices::openUrl(QUrl(text, QUrl::TolerantMode));
}

bool Desktop::startDetached(const QString &program) {
    return QProcess::startDetached(program, {});
}

std::unique_ptr<PageLoader> Desktop::makeWebPageLoader(QWidget *browserArea) {
    return std::make_unique<WebPageLoader>(browserArea);
}

QString converterProgram() {
#ifdef Q_OS_WIN
    return QStringLiteral("tabrex.exe");
#else
    return QStringLiteral("tabrex");
#endif
}
