#include "logic/webengine.h"

#include <algorithm>

namespace {
const QString kDisableSandbox = QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX");
const QString kChromiumFlags = QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS");
const QString kProcessPath = QStringLiteral("QTWEBENGINEPROCESS_PATH");

#ifdef Q_OS_WIN
const QString kProcessName = QStringLiteral("QtWebEngineProcess.exe");
#else
const QString kProcessName = QStringLiteral("QtWebEngineProcess");
#endif

// The engine's switch reader takes "--name", "--name=value" and, on Unix, "-name" alike.
bool isNoSandboxSwitch(const QString &word) {
    for (const QString &prefix : {QStringLiteral("--"), QStringLiteral("-")}) {
        if (!word.startsWith(prefix))
            continue;
        const QString rest = word.mid(prefix.size());
        if (rest == u"no-sandbox" || rest.startsWith(u"no-sandbox="))
            return true;
    }
    return false;
}
} // namespace

bool sandboxRefusesRoot(bool runsAsRoot, const QProcessEnvironment &environment) {
    if (!runsAsRoot || environment.contains(kDisableSandbox))
        return false;
    const QStringList flags =
        environment.value(kChromiumFlags).split(QChar(u' '), Qt::SkipEmptyParts);
    return std::none_of(flags.begin(), flags.end(), isNoSandboxSwitch);
}

QStringList engineProcessCandidates(const QProcessEnvironment &environment,
                                    const QString &qtHelperFolder, const QString &programFolder) {
    const QString fromEnvironment = environment.value(kProcessPath);
    if (!fromEnvironment.isEmpty())
        return {fromEnvironment};
    return {qtHelperFolder + u'/' + kProcessName, programFolder + u'/' + kProcessName};
}
