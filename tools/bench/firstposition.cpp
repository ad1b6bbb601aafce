// How long the first position change blocks the main window: it creates the map window and its
// web view and loads the first map. Prints milliseconds; with --warm the web engine is started
// after the window shows, as the program does, and that start is timed as well.
//
//   pelora-bench-firstposition [--warm]
// (offscreen unless QT_QPA_PLATFORM says otherwise; as root the web engine also needs
// QTWEBENGINE_DISABLE_SANDBOX=1 in the environment)
#include "benchsupport.h"
#include "session/session.h"
#include "windows/form1.h"
#include "windows/webpageloader.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTest>
#include <QTextStream>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

namespace {

// Keeps the benchmark off the network; what is timed is the work on the UI thread.
class BlockAll : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo &info) override { info.block(true); }
};

double msSince(const QElapsedTimer &timer) {
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[]) {
    preferOffscreen();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCommandLineParser options;
    parseOptions(options, app,
                 QStringLiteral("Times the first position change, which creates the map window "
                                "and its web engine, and the changes after it."),
                 {{QStringLiteral("warm"),
                   QStringLiteral("Start the web engine after the window shows, as the program "
                                  "does, and time that start.")}});
    const bool warm = options.isSet(QStringLiteral("warm"));
    QTextStream out(stdout);

    Session session;
    Form1 form(session);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;

    QElapsedTimer timer;
    if (warm) {
        timer.start();
        warmUpWebEngine();
        out << "web engine start after show: " << msSince(timer) << " ms\n";
    }

    DisplayModel &model = session.model();
    timer.start();
    model.latitude.write(QStringLiteral("48 \u00B0  07.038 ' N"));
    const double first = msSince(timer);
    // Set only now so as not to start the engine before the timed change; the requests of the
    // loads above leave later, from the event loop, and are caught all the same.
    BlockAll blockAll;
    QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&blockAll);
    out << "first position change (latitude, creates the map window): " << first << " ms\n";
    timer.start();
    model.longitude.write(QStringLiteral("011 \u00B0  31.000 ' E"));
    out << "second position change (longitude): " << msSince(timer) << " ms\n";
    timer.start();
    model.latitude.write(QStringLiteral("48 \u00B0  07.039 ' N"));
    out << "later position change: " << msSince(timer) << " ms\n";
    out.flush();

    QTest::qWait(200);
    QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(nullptr);
    return 0;
}
