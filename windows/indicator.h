#pragma once

#include <QColor>
#include <QString>

class QPushButton;

// A port's status indicator: a square button drawn in its back colour, with "An" or "Aus".
namespace Indicator {

inline const QColor kRed(255, 0, 0);
inline const QColor kGreen(0, 255, 0);

void set(QPushButton *button, const QColor &colour, const QString &caption);
QColor colour(const QPushButton *button);

} // namespace Indicator
