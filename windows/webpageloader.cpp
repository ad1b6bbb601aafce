#include "windows/webpageloader.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineView>

WebPageLoader::WebPageLoader(QWidget *browserArea)
    : m_view(new QWebEngineView(browserArea)) {
    auto *layout = new QVBoxLayout(browserArea);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

void WebPageLoader::load(const QString &address) {
    // Tolerant mode percent-encodes the degree sign and leaves the rest of the address alone.
    m_view->load(QUrl(address, QUrl::TolerantMode));
}

void warmUpWebEngine() {
    QWebEngineProfile::defaultProfile();
}
