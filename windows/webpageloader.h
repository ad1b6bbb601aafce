#pragma once

#include "windows/pageloader.h"
#include "windows/webview.h"

#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>

class OfflineMap;
class QStackedLayout;

// The real browser: the web engine's view, made by makeView, filling the map window's browser area.
// When a map page fails, answers with an error status or makes no progress within the time limit,
// the map drawn from the shipped outlines takes its place; it stays, following every load, until a
// map page loads again.
class WebPageLoader : public QObject, public PageLoader {
public:
    static constexpr std::chrono::seconds kTimeLimit{20};

    WebPageLoader(QWidget *browserArea, MakeWebView makeView,
                  std::chrono::milliseconds timeLimit = kTimeLimit);
    void load(const MapRequest &map) override;

private:
    void reported(const WebView::Report &report);
    void showOffline();

    QStackedLayout *m_stack;
    WebView *m_view;       // owned by the browser area
    OfflineMap *m_offline; // owned by the browser area
    QTimer m_timeLimit;    // runs from the last sign of progress
    QUrl m_requested;      // the map page being waited for; empty while none is
};
