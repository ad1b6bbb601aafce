#include "headless.h"

#include "commandline.h"
#include "logic/portfailure.h"
#include "session/session.h"
#include "stoprequest.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>

namespace {

QtMessageHandler g_otherMessages = nullptr;

// The trace is the headless run's output: one event per line, each out at once, so that a pipe
// reads decoded values as they come. Everything else goes where it always goes.
void writeTrace(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (QByteArrayView(context.category) != "pelora.trace") {
        g_otherMessages(type, context, message);
        return;
    }
    const QByteArray line = message.toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
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
