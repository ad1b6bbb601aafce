#include "benchsupport.h"

#include "logic/pollcycle.h"
#include "ptypair.h"
#include "session/session.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

void preferOffscreen() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static const QtMessageHandler defaultHandler = qInstallMessageHandler(nullptr);
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (!message.contains(QLatin1String("propagateSizeHints")))
                defaultHandler(type, context, message);
        });
}

void parseOptions(QCommandLineParser &parser, const QCoreApplication &app,
                  const QString &description, const QList<QCommandLineOption> &options) {
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addOptions(options);
    parser.process(app);
}

QCommandLineOption logOption(const QString &help) {
    return {QStringLiteral("log"), help, QStringLiteral("file"),
            QStringLiteral(PELORA_TESTDATA "/gpsdf.log")};
}

QByteArray readReceiverText(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return {};
    }
    QByteArray text;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (!line.startsWith('#'))
            text += line;
    }
    if (text.isEmpty())
        std::fprintf(stderr, "no receiver text in %s\n", qPrintable(path));
    return text;
}

QString pollIntervalChoices() {
    QStringList all;
    for (const qint32 ms : kPollIntervals)
        all << QString::number(ms);
    const QString last = all.takeLast();
    return all.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

std::optional<int> intervalOption(int ms) {
    for (std::size_t option = 0; option < kPollIntervals.size(); ++option) {
        if (kPollIntervals[option] == ms)
            return int(option);
    }
    std::fprintf(stderr, "no interval option of %d ms; there are %s\n", ms,
                 qPrintable(pollIntervalChoices()));
    return std::nullopt;
}

bool startPairs(PtyPair &input, PtyPair &output) {
    if (input.start() && output.start())
        return true;
    std::fprintf(stderr, "socat: %s%s\n", qPrintable(input.error()), qPrintable(output.error()));
    return false;
}

namespace {

bool failed(const char *which, const PortFailure &failure, bool open) {
    if (failure.cause == PortFailure::Cause::None && open)
        return false;
    std::fprintf(stderr, "the %s port did not open: %s\n", which,
                 failure.cause == PortFailure::Cause::None
                     ? "still waiting for its device or peer"
                     : qPrintable(portFailureDetail(failure)));
    return true;
}

} // namespace

bool startSession(Session &session, int intervalMs, const PortSettings &input,
                  const std::optional<PortSettings> &output) {
    const std::optional<int> option = intervalOption(intervalMs);
    if (!option)
        return false;
    session.chooseInterval(*option);
    if (output) {
        const PortFailure failure = session.activateOutput(*output);
        if (failed("output", failure, session.output().isOpen()))
            return false;
    }
    const PortFailure failure = session.activateInput(input);
    return !failed("input", failure, session.input().isOpen());
}
