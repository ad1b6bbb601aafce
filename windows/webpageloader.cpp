#include "windows/webpageloader.h"

#include "logic/mappages.h"
#include "windows/offlinemap.h"

#include <QStackedLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

// The engine may encode more of an address than the URL class does (the apostrophe); compared
// decoded, the same address is the same.
QString decoded(const QUrl &url) {
    return QUrl::fromPercentEncoding(url.toEncoded());
}

} // namespace

WebPageLoader::WebPageLoader(QWidget *browserArea, std::chrono::milliseconds timeLimit)
    : m_stack(new QStackedLayout(browserArea))
    , m_view(new QWebEngineView(browserArea))
    , m_offline(new OfflineMap(browserArea)) {
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_view);
    m_stack->addWidget(m_offline);
    m_offline->setReason(unreachableNotice());
    // The engine's own error page is English, and no use without the network anyway.
    m_view->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    connect(m_view->page(), &QWebEnginePage::loadingChanged, this, &WebPageLoader::loadingChanged);
    connect(m_view->page(), &QWebEnginePage::loadProgress, this, &WebPageLoader::progressed);
    m_timeLimit.setSingleShot(true);
    m_timeLimit.setInterval(timeLimit);
    connect(&m_timeLimit, &QTimer::timeout, this, &WebPageLoader::showOffline);
}

void WebPageLoader::load(const MapRequest &map) {
    // Drawn at once, so that a shown offline map follows the position while the web map is
    // tried again.
    m_offline->showMap(map);
    // Tolerant mode percent-encodes the degree sign and leaves the rest of the address alone.
    m_requested = QUrl(map.address, QUrl::TolerantMode);
    m_timeLimit.start();
    m_view->load(m_requested);
}

void WebPageLoader::loadingChanged(const QWebEngineLoadingInfo &info) {
    if (m_requested.isEmpty())
        return; // a map page no longer waited for
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        progressed();
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        // Stopped: cut short by a newer load, which is still being waited for.
        return;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        showOffline();
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        // An error status normally ends as a failure; a success carries its status (200) too.
        if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain &&
            info.errorCode() >= 400) {
            showOffline();
        } else if (decoded(m_view->page()->requestedUrl()) == decoded(m_requested)) {
            m_timeLimit.stop();
            m_requested.clear();
            m_stack->setCurrentWidget(m_view);
        }
        return;
    }
}

// A slow link that keeps delivering is given its time: the limit counts from here.
void WebPageLoader::progressed() {
    if (!m_requested.isEmpty())
        m_timeLimit.start();
}

void WebPageLoader::showOffline() {
    m_timeLimit.stop();
    m_requested.clear();
    // A page that did not finish in time would otherwise go on loading unseen.
    m_view->stop();
    m_stack->setCurrentWidget(m_offline);
}
