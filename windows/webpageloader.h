#pragma once

#include "windows/pageloader.h"

class QWebEngineView;

// The real browser: a web view filling the map window's browser area.
class WebPageLoader : public PageLoader {
public:
    explicit WebPageLoader(QWidget *browserArea);
    void load(const QString &address) override;

private:
    QWebEngineView *m_view; // owned by the browser area
};

// Starts the web engine ahead of the first map, so that the first position does not wait for it.
void warmUpWebEngine();
