#pragma once

#include "logic/webengine.h"

#include <QString>
#include <QStringList>

// The German pages the map area shows in place of the map. Field texts go in as the main
// window's fields hold them and are shown, blanks included, as they are.

// The map service could not be reached for the last load (no network, name not resolved, an
// error answer or no answer in time).
QString unreachableMapPage(const QString &latitudeField, const QString &longitudeField);

// Why there is no map at all in this run, and how to get it; searchedPaths are the places where
// the engine's helper program was looked for.
QString noMapNotice(WebEngineObstacle obstacle, const QStringList &searchedPaths = {});
