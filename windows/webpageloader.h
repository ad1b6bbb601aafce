#pragma once

#include "windows/pageloader.h"

#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>

class QWebEngineLoadingInfo;
class QWebEngineView;

// The real browser: a web view filling the map window's browser area. A map page that fails,
// answers with an error status or has not finished within the time limit is replaced by the
// map window's own page for that case; the next load tries the map again.
class WebPageLoader : public QObject, public PageLoader {
public:
    static constexpr std::chrono::seconds kTimeLimit{20};

    WebPageLoader(QWidget *browserArea, std::function<QString()> unreachablePage,
                  std::chrono::milliseconds timeLimit = kTimeLimit);
    void load(const QString &address) override;

private:
    void loadingChanged(const QWebEngineLoadingInfo &info);
    void showUnreachable();

    QWebEngineView *m_view; // owned by the browser area
    std::function<QString()> m_unreachablePage;
    QTimer m_timeLimit;
    QUrl m_requested; // the map page being waited for; empty while none is
};

// Starts the web engine ahead of the first map, so that the first position does not wait for it.
void warmUpWebEngine();
