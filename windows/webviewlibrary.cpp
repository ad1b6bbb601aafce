#include "windows/webviewlibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QtGui/qtguiglobal.h>

#include <algorithm>

#if QT_CONFIG(opengl)
#include <QOpenGLContext>
// Qt's own, exported by QtGui outside its public headers: the context every web view shares.
Q_GUI_EXPORT QOpenGLContext *qt_gl_global_share_context();
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
#endif

namespace {

// The engine draws through a graphics context it shares with the windows. Qt makes that context
// with the application object when asked to before; made there, it would load the graphics
// drivers (some 50 MB with Mesa) into every run, map or not. Made here, before the engine's
// library is loaded, it is made the same way and the engine finds it as it would have.
void shareGraphicsContext() {
    if (!QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts)) {
        // Qt warns that the attribute comes too late for it to make the context at start. It
        // comes late on purpose, and the context is made here instead.
        static QtMessageHandler passOn = nullptr;
        passOn = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &text) {
                if (!text.contains(u"AA_ShareOpenGLContexts") && passOn)
                    passOn(type, context, text);
            });
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        qInstallMessageHandler(passOn);
    }
#if QT_CONFIG(opengl)
    if (qt_gl_global_share_context())
        return;
    auto *context = new QOpenGLContext(QCoreApplication::instance());
    context->setFormat(QSurfaceFormat::defaultFormat());
    // Kept when it fails (no OpenGL, offscreen), as Qt keeps its own: the engine reads it, and
    // draws without OpenGL.
    context->create();
    qt_gl_set_global_share_context(context);
#endif
}

MakeWebView load(QString *error) {
    const QString path = foundWebViewLibrary();
    if (path.isEmpty()) {
        *error = QStringLiteral("%1: not found").arg(webViewLibraryPlaces().join(u", "));
        return nullptr;
    }
    shareGraphicsContext();
    // Never unloaded: the engine cannot be started twice in one process.
    static QLibrary library;
    library.setFileName(path);
    library.setLoadHints(QLibrary::PreventUnloadHint);
    const auto make = reinterpret_cast<MakeWebView>(library.resolve(kMakeWebViewSymbol));
    if (!make)
        *error = library.errorString();
    return make;
}

} // namespace

QStringList webViewLibraryPlaces() {
    const QString name = QStringLiteral(PELORA_WEBVIEW_FILE);
    const QDir programFolder(QCoreApplication::applicationDirPath());
    return {QDir::cleanPath(
                programFolder.filePath(QStringLiteral(PELORA_WEBVIEW_FROM_PROGRAM) + u'/' + name)),
            programFolder.filePath(name), QStringLiteral(PELORA_WEBVIEW_BUILT) + u'/' + name};
}

QString foundWebViewLibrary() {
    const QStringList places = webViewLibraryPlaces();
    const auto found = std::find_if(places.begin(), places.end(),
                                    [](const QString &path) { return QFileInfo::exists(path); });
    return found == places.end() ? QString() : *found;
}

MakeWebView loadWebViewLibrary(QString *error) {
    static QString reason;
    static const MakeWebView make = load(&reason);
    if (error)
        *error = reason;
    return make;
}
