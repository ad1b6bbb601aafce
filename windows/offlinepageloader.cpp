#include "windows/offlinepageloader.h"

#include "windows/offlinemap.h"

#include <QVBoxLayout>

OfflinePageLoader::OfflinePageLoader(QWidget *browserArea, const QString &reason)
    : m_map(new OfflineMap(browserArea)) {
    m_map->setReason(reason);
    auto *layout = new QVBoxLayout(browserArea);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_map);
}

void OfflinePageLoader::load(const MapRequest &map) {
    m_map->showMap(map);
}
