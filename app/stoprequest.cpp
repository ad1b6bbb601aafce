#include "stoprequest.h"

#include <QMetaObject>
#include <QObject>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

QObject *g_context = nullptr;
std::function<void()> g_stop;

void stopNow() {
    if (g_stop)
        std::exchange(g_stop, nullptr)();
}

#ifdef Q_OS_WIN
BOOL WINAPI consoleHandler(DWORD) {
    QMetaObject::invokeMethod(g_context, &stopNow, Qt::QueuedConnection);
    return TRUE;
}
#else
int g_wakeUp[2] = {-1, -1};

// A signal handler may do next to nothing: it writes one byte, and the event loop does the rest.
void signalled(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_wakeUp[0], &byte, 1);
}
#endif

} // namespace

void onStopRequest(QObject *context, std::function<void()> stop) {
    g_context = context;
    g_stop = std::move(stop);
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(consoleHandler, TRUE);
#else
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_wakeUp) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_wakeUp[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(g_wakeUp[1], &byte, 1);
        notifier->setEnabled(false);
        stopNow();
    });
    struct sigaction action {};
    action.sa_handler = signalled;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
#endif
}
