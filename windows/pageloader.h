#pragma once

#include <QString>

#include <functional>
#include <memory>

class QWidget;

// What the map window needs of its browser: load an address and return at once. The page loads
// on its own; nothing about it is read back.
class PageLoader {
public:
    virtual ~PageLoader() = default;
    virtual void load(const QString &address) = 0;
};

// Makes the loader for one map window; the loader shows its page inside browserArea. When a map
// page cannot be loaded, the loader shows unreachablePage() instead: the map window's own page
// for that case, made at that moment.
using PageLoaderFactory = std::function<std::unique_ptr<PageLoader>(
    QWidget *browserArea, std::function<QString()> unreachablePage)>;
