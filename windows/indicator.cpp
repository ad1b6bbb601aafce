#include "windows/indicator.h"

#include "logic/trace.h"

#include <QPushButton>

namespace {
const char *const kColourProperty = "indicatorColour";
}

namespace Indicator {

void set(QPushButton *button, const QColor &colour, const QString &caption) {
    if (colour == Indicator::colour(button) && caption == button->text())
        return;
    button->setProperty(kColourProperty, colour);
    // A style sheet paints the back colour with every widget style; a palette does not.
    button->setStyleSheet(
        QStringLiteral("background-color: %1; border: 1px solid #606060;").arg(colour.name()));
    button->setText(caption);
    const QString name = colour == kGreen ? QStringLiteral("green")
                         : colour == kRed ? QStringLiteral("red")
                                          : colour.name();
    trace({QStringLiteral("indicator"), button->objectName(), name, caption});
}

QColor colour(const QPushButton *button) {
    return button->property(kColourProperty).value<QColor>();
}

} // namespace Indicator
