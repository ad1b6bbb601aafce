#pragma once

#include <QString>

#include <functional>
#include <memory>

class QWidget;

// One map load: the web map's address, and the position and zoom it stands for, from which the
// map is drawn where the web map cannot be had.
struct MapRequest {
    QString address;
    QString latitudeField; // as the main window's fields hold them, blanks kept
    QString longitudeField;
    int zoom = 0;
};

// What the map window needs of its browser: load a map and return at once. The page loads on
// its own; nothing about it is read back.
class PageLoader {
public:
    virtual ~PageLoader() = default;
    virtual void load(const MapRequest &map) = 0;
};

// Makes the loader for one map window; the loader shows its maps inside browserArea.
using PageLoaderFactory = std::function<std::unique_ptr<PageLoader>(QWidget *browserArea)>;
