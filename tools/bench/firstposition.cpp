// How long the first position change blocks the main window (it creates the map window, hidden,
// which loads nothing), the changes after it, and the first show of the map window, which makes
// its web view, starts the web engine and loads the latest map. Prints milliseconds.
//
//   pelora-bench-firstposition
// (offscreen unless QT_QPA_PLATFORM says otherwise; as root the web engine also needs
// QTWEBENGINE_DISABLE_SANDBOX=1 in the environment)
#include "benchsupport.h"
#include "session/session.h"
#include "windows/form1.h"
#include "windows/form3.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTest>
#include <QTextStream>

namespace {

double msSince(const QElapsedTimer &timer) {
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[]) {
    preferOffscreen();
    // Keeps the benchmark off the network: every request goes to a proxy that is not there. What
    // is timed is the work on the UI thread.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--proxy-server=127.0.0.1:9");
    QApplication app(argc, argv);
    QCommandLineParser options;
    parseOptions(options, app,
                 QStringLiteral("Times the first position change, which creates the map window "
                                "hidden, the changes after it, and the first show of the map "
                                "window, which starts the web engine."),
                 {});
    QTextStream out(stdout);

    Session session;
    Form1 form(session);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;

    QElapsedTimer timer;
    DisplayModel &model = session.model();
    timer.start();
    model.latitude.write(QStringLiteral("48 \u00B0  07.038 ' N"));
    const double first = msSince(timer);
    out << "first position change (latitude, creates the map window): " << first << " ms\n";
    timer.start();
    model.longitude.write(QStringLiteral("011 \u00B0  31.000 ' E"));
    out << "second position change (longitude): " << msSince(timer) << " ms\n";
    timer.start();
    model.latitude.write(QStringLiteral("48 \u00B0  07.039 ' N"));
    out << "later position change: " << msSince(timer) << " ms\n";

    auto *map = form.findChild<Form3 *>();
    if (!map)
        return 1;
    timer.start();
    map->show();
    const double shown = msSince(timer);
    out << "first show of the map window (starts the web engine): " << shown << " ms\n";
    out.flush();

    QTest::qWait(200);
    return 0;
}
