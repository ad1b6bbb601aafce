#pragma once

#include "windows/pageloader.h"

class OfflineMap;

// The browser where the web engine cannot run: the browser area shows the map drawn from the
// shipped outlines, with a notice saying why there is no web map and how to get it. No part of
// the web engine is created.
class OfflinePageLoader : public PageLoader {
public:
    OfflinePageLoader(QWidget *browserArea, const QString &reason);
    void load(const MapRequest &map) override;

private:
    OfflineMap *m_map; // owned by the browser area
};
