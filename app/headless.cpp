#include "headless.h"

#include "commandline.h"
#include "logic/portfailure.h"
#include "session/session.h"
#include "stoprequest.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>

namespace {

QtMessageHandler g_otherMessages = nullptr;

// The trace is the headless run's output: one event per line. Everything else goes where it
// always goes.
void writeTrace(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (QByteArrayView(context.category) != "pelora.trace") {
        g_otherMessages(type, context, message);
        return;
    }
    const QByteArray line = message.toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
}

bool failed(const PortFailure &failure) {
    if (failure.cause == PortFailure::Cause::None)
        return false;
    std::fprintf(stderr, "falsche Porteinstellung\n%s\n", qPrintable(portFailureDetail(failure)));
    return true;
}

} // namespace

int runHeadless(QCoreApplication &app, const CommandLine &line) {
    g_otherMessages = qInstallMessageHandler(writeTrace);
    // The events of one pass of the event loop go out together before it waits again, so that
    // a pipe reads decoded values as they come, at one write a pass rather than one an event.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &app, [] { std::fflush(stdout); });
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false\npelora.trace.debug=true"));

    Session session;
    session.setChecksumTest(line.checksumTest);
    session.setZone(line.zone);
    session.setSummerTime(line.summerTime);
    session.chooseInterval(line.intervalOption);
    // The output first, so that nothing the input receives goes past it.
    if (line.output && failed(session.activateOutput(*line.output)))
        return 2;
    if (failed(session.activateInput(line.input)))
        return 2;
    onStopRequest(&session, [&session, &app] {
        session.deactivateInput();
        session.deactivateOutput();
        app.quit();
    });
    return app.exec();
}
