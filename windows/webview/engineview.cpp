// The library behind the map window's web view: the only code that links the web engine.
#include "windows/webview.h"

#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

class EngineView : public QWebEngineView, public WebView {
public:
    EngineView(QWidget *parent, Listener listener)
        : QWebEngineView(parent)
        , m_listener(std::move(listener)) {
        // The engine's own error page is English, and no use without the network anyway.
        settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
        connect(page(), &QWebEnginePage::loadingChanged, this,
                [this](const QWebEngineLoadingInfo &info) { reportLoading(info); });
        connect(page(), &QWebEnginePage::loadProgress, this,
                [this] { m_listener({.progress = Progress::Advanced, .requested = {}}); });
    }

    QWidget *widget() override { return this; }
    void load(const QUrl &address) override { QWebEngineView::load(address); }
    void stop() override { QWebEngineView::stop(); }

private:
    void reportLoading(const QWebEngineLoadingInfo &info) {
        Report report{.progress = Progress::Started,
                      .httpStatus =
                          info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain
                              ? info.errorCode()
                              : 0,
                      .requested = page()->requestedUrl()};
        switch (info.status()) {
        case QWebEngineLoadingInfo::LoadStartedStatus:
            break;
        case QWebEngineLoadingInfo::LoadStoppedStatus:
            report.progress = Progress::Stopped;
            break;
        case QWebEngineLoadingInfo::LoadFailedStatus:
            report.progress = Progress::Failed;
            break;
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            report.progress = Progress::Succeeded;
            break;
        }
        m_listener(report);
    }

    Listener m_listener;
};

} // namespace

extern "C" Q_DECL_EXPORT WebView *pelora_make_web_view_1(QWidget *parent,
                                                         WebView::Listener listener) {
    return new EngineView(parent, std::move(listener));
}
