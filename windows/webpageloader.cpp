#include "windows/webpageloader.h"

#include "logic/mappages.h"
#include "windows/offlinemap.h"

#include <QStackedLayout>

namespace {

// The engine may encode more of an address than the URL class does (the apostrophe); compared
// decoded, the same address is the same.
QString decoded(const QUrl &url) {
    return QUrl::fromPercentEncoding(url.toEncoded());
}

} // namespace

WebPageLoader::WebPageLoader(QWidget *browserArea, MakeWebView makeView,
                             std::chrono::milliseconds timeLimit)
    : m_stack(new QStackedLayout(browserArea))
    , m_view(makeView(browserArea, [this](const WebView::Report &report) { reported(report); }))
    , m_offline(new OfflineMap(browserArea)) {
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_view->widget());
    m_stack->addWidget(m_offline);
    m_offline->setReason(unreachableNotice());
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

void WebPageLoader::reported(const WebView::Report &report) {
    if (m_requested.isEmpty())
        return; // a map page no longer waited for
    switch (report.progress) {
    case WebView::Progress::Started:
    case WebView::Progress::Advanced:
        // A slow link that keeps delivering is given its time: the limit counts from here.
        m_timeLimit.start();
        return;
    case WebView::Progress::Stopped:
        // Stopped: cut short by a newer load, which is still being waited for.
        return;
    case WebView::Progress::Failed:
        showOffline();
        return;
    case WebView::Progress::Succeeded:
        // An error status normally ends as a failure; a success carries its status (200) too.
        if (report.httpStatus >= 400) {
            showOffline();
        } else if (decoded(report.requested) == decoded(m_requested)) {
            m_timeLimit.stop();
            m_requested.clear();
            m_stack->setCurrentWidget(m_view->widget());
        }
        return;
    }
}

void WebPageLoader::showOffline() {
    m_timeLimit.stop();
    m_requested.clear();
    // A page that did not finish in time would otherwise go on loading unseen.
    m_view->stop();
    m_stack->setCurrentWidget(m_offline);
}
