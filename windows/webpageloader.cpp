#include "windows/webpageloader.h"

#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

// The engine may encode more of an address than the URL class does (the apostrophe); compared
// decoded, the same address is the same.
QString decoded(const QUrl &url) {
    return QUrl::fromPercentEncoding(url.toEncoded());
}

} // namespace

WebPageLoader::WebPageLoader(QWidget *browserArea, std::function<QString()> unreachablePage,
                             std::chrono::milliseconds timeLimit)
    : m_view(new QWebEngineView(browserArea))
    , m_unreachablePage(std::move(unreachablePage)) {
    auto *layout = new QVBoxLayout(browserArea);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    // The engine's own error page is English; the map window shows its German one instead.
    m_view->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    connect(m_view->page(), &QWebEnginePage::loadingChanged, this, &WebPageLoader::loadingChanged);
    m_timeLimit.setSingleShot(true);
    m_timeLimit.setInterval(timeLimit);
    connect(&m_timeLimit, &QTimer::timeout, this, &WebPageLoader::showUnreachable);
}

void WebPageLoader::load(const QString &address) {
    // Tolerant mode percent-encodes the degree sign and leaves the rest of the address alone.
    m_requested = QUrl(address, QUrl::TolerantMode);
    m_timeLimit.start();
    m_view->load(m_requested);
}

void WebPageLoader::loadingChanged(const QWebEngineLoadingInfo &info) {
    if (m_requested.isEmpty())
        return; // the German page itself, or a map page no longer waited for
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        // Stopped: cut short by a newer load, which is still being waited for.
        return;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        showUnreachable();
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        // An error status normally ends as a failure; a success carries its status (200) too.
        if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain &&
            info.errorCode() >= 400) {
            showUnreachable();
        } else if (decoded(m_view->page()->requestedUrl()) == decoded(m_requested)) {
            m_timeLimit.stop();
            m_requested.clear();
        }
        return;
    }
}

void WebPageLoader::showUnreachable() {
    m_timeLimit.stop();
    m_requested.clear();
    m_view->setHtml(m_unreachablePage());
}

void warmUpWebEngine() {
    QWebEngineProfile::defaultProfile();
}
