// Pelora's window process of the comparison: the real main window, worked through its widgets
// (see kWindowChildFlag).
#include "benchsupport.h"
#include "processes.h"
#include "session/session.h"
#include "windows/desktop.h"
#include "windows/form1.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Times the poll ticks: the timer events of the session's poll timer.
class ProbeApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool probing = false;
    const QTimer *pollTimer = nullptr;
    double longestTick = 0;
    int ticks = 0;

    bool notify(QObject *receiver, QEvent *event) override {
        if (!probing || receiver != pollTimer || event->type() != QEvent::Timer)
            return QApplication::notify(receiver, event);
        QElapsedTimer stopwatch;
        stopwatch.start();
        const bool handled = QApplication::notify(receiver, event);
        const double ms = stopwatch.nsecsElapsed() / 1e6;
        longestTick = std::max(longestTick, ms);
        ++ticks;
        std::printf("tick %d %.2f\n", ticks, ms);
        std::fflush(stdout);
        return handled;
    }
};

// Prints "painted" after the first paint of any of the window's widgets has been handled.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget &window)
        : m_window(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint && !m_told && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window() == &m_window) {
            m_told = true;
            QTimer::singleShot(0, this, [] {
                std::printf("painted\n");
                std::fflush(stdout);
            });
        }
        return false;
    }

private:
    QWidget &m_window;
    bool m_told = false;
};

template <typename T> T *widget(QWidget &form, const QString &name) {
    T *found = form.findChild<T *>(name);
    if (!found) {
        std::printf("failed: no widget %s\n", qPrintable(name));
        std::fflush(stdout);
        std::exit(1);
    }
    return found;
}

} // namespace

int windowChildMain(int argc, char *argv[]) {
    preferOffscreen();
    ProbeApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: %s %s IN_DEVICE OUT_DEVICE INTERVAL [probe] [sky]\n", argv[0],
                     kWindowChildFlag);
        return 2;
    }
    const QString input = args[2];
    const QString output = args[3];
    const int interval = args[4].toInt();
    const bool probe = args.mid(5).contains(u"probe"_s);
    const bool sky = args.mid(5).contains(u"sky"_s);

    Session session;
    Form1 form(session);
    // Told once the window has been painted for the first time, as a user first sees it.
    FirstPaint firstPaint(form);
    app.installEventFilter(&firstPaint);
    form.show();

    const std::optional<int> option = intervalOption(interval);
    if (!option) {
        std::printf("failed: no interval option %d\n", interval);
        return 1;
    }
    widget<QAbstractButton>(form, u"Option1_%1"_s.arg(*option))->click();
    widget<QComboBox>(form, u"Combo1"_s)->setCurrentText(input);
    widget<QAbstractButton>(form, u"Command1"_s)->click();
    if (output != u"-"_s) {
        widget<QComboBox>(form, u"Combo7"_s)->setCurrentText(output);
        widget<QAbstractButton>(form, u"Command5"_s)->click();
    }
    // A port that does not open says so in a message box.
    for (const QMessageBox *box : form.findChildren<QMessageBox *>()) {
        if (box->isVisible()) {
            std::printf("failed: %s\n", qPrintable(box->text()));
            return 1;
        }
    }

    if (sky)
        form.findChild<QAction *>(u"satelliten"_s)->trigger();

    // The loop's lateness: a 1 ms timer that fires late was held up by whatever ran before it.
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceBeat;
    double longestStall = 0;
    double longestStallOverall = 0;
    if (probe) {
        app.pollTimer = &session.pollTimer();
        QObject::connect(&heartbeat, &QTimer::timeout, &app, [&] {
            // From the first beat on: before it, the window was still being laid out.
            const double stall = sinceBeat.isValid() ? sinceBeat.nsecsElapsed() / 1e6 - 1 : 0;
            sinceBeat.start();
            longestStall = std::max(longestStall, stall);
            longestStallOverall = std::max(longestStallOverall, stall);
        });
        heartbeat.start(1);
        app.probing = true;
    }

    double longestTickOverall = 0;
    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&commands, &QSocketNotifier::activated, &app, [&] {
        char chunk[256];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) { // the benchmark has gone
            app.quit();
            return;
        }
        pending.append(chunk, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray command = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            longestTickOverall = std::max(longestTickOverall, app.longestTick);
            if (command == "mark") {
                longestStall = app.longestTick = 0;
                std::printf("marked %d\n", app.ticks);
            } else if (command == "stop") {
                app.probing = false;
                std::printf("stall %.2f %.2f\n", longestStall, longestStallOverall);
                std::printf("longtick %.2f %.2f\n", app.longestTick, longestTickOverall);
                std::printf("stopped\n");
                app.quit();
            }
            std::fflush(stdout);
        }
    });

    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
