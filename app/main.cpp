#include "commandline.h"
#include "headless.h"
#include "session/session.h"
#include "version.h"
#include "windows/form1.h"

#include <QApplication>
#include <QLoggingCategory>

namespace {

// Qt's and the web engine's start-up reports (graphics setup, sandbox state) are for those who
// ask: QT_LOGGING_RULES from the environment overrides these rules. Warnings and errors stay.
// The engine's own log is cut down to fatal errors unless the user passes it flags already.
void quietStart() {
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false"));
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--log-level=3");
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("pelora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PELORA_VERSION));
    // Neither needs a window system, so both work on a machine without a display.
    if (onlyPrints(argc, argv) || asksForHeadless(argc, argv)) {
        // Without windows nothing needs GLib's main loop, and Qt's own costs less per wake-up:
        // the headless run wakes for every chunk a receiver sends.
        if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
            qputenv("QT_NO_GLIB", "1");
        QCoreApplication app(argc, argv);
        return runHeadless(app, parseCommandLine(app));
    }

    quietStart();
    QApplication app(argc, argv);
    // No display name: Qt would append it to every window's caption ("Karte — Pelora").
    QApplication::setDesktopFileName(QStringLiteral("pelora"));
    parseCommandLine(app);

    Session session;
    Form1 form(session);
    form.show();
    return app.exec();
}
