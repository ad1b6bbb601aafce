#pragma once

#include "logic/webengine.h"

#include <QString>
#include <QStringList>

// The German notices above the map drawn from the shipped outlines: why it stands in for the web
// map, and the position it shows. Field texts go in as the main window's fields hold them and
// are shown, blanks included, as they are.

// The map service could not be reached for the last load (no network, name not resolved, an
// error answer or no progress in time).
QString unreachableNotice();

// Why there is no web map at all in this run, and how to get it; searchedPaths are the places
// where what is missing was looked for.
QString noWebMapNotice(WebEngineObstacle obstacle, const QStringList &searchedPaths = {});

// The web view's library is there but does not load; error is the loader's reason, naming it.
QString brokenWebViewNotice(const QString &error);

// The position the map shows, as the main window's fields hold it.
QString positionNotice(const QString &latitudeField, const QString &longitudeField);
