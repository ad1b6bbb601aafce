#include "windows/captionbutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace {
constexpr int kMargin = 3;
constexpr int kFlags = Qt::AlignCenter | Qt::TextWordWrap;
} // namespace

QRect CaptionButton::captionRect() const {
    return rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
}

bool CaptionButton::captionFits() const {
    const QRect area = captionRect();
    const QRect needed = fontMetrics().boundingRect(area, kFlags, text());
    return area.contains(needed);
}

void CaptionButton::paintEvent(QPaintEvent *) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(captionRect(), kFlags, text());
}
