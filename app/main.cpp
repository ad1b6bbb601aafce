#include "version.h"
#include "windows/desktop.h"
#include "windows/form1.h"
#include "windows/webpageloader.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>
#include <QTimer>

#include <cstring>

namespace {

// Help and version are printed without a window system, so they work on a machine without a
// display too.
bool onlyPrints(int argc, char *argv[]) {
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

void parseCommandLine(const QCoreApplication &app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Monitor for a GPS receiver that sends NMEA 0183 over a serial line.\n"
        "Port \"n\" of the lists opens /dev/ttyS<n-1>, or the device named by the environment\n"
        "variable PELORA_COM<n>; a list text starting with \"/\" is used as a device path.\n"
        "Set QT_LOGGING_RULES=\"pelora.trace.debug=true\" to trace every displayed value."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);
}

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
    if (onlyPrints(argc, argv)) {
        const QCoreApplication app(argc, argv);
        parseCommandLine(app);
        return 0;
    }

    quietStart();
    // The web engine behind the map window shares its graphics context with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // No display name: Qt would append it to every window's caption ("Karte — Pelora").
    QApplication::setDesktopFileName(QStringLiteral("pelora"));
    parseCommandLine(app);

    Form1 form;
    form.show();
    // Starting the web engine takes tens of milliseconds; done now, while no port is active
    // yet, the first position change does not have to wait for it. Where it cannot run, it is
    // never started: the map window explains why.
    if (webEngineObstacle() == WebEngineObstacle::None)
        QTimer::singleShot(0, &form, &warmUpWebEngine);
    return app.exec();
}
