#pragma once

#include <QPushButton>

// A command button whose caption wraps onto a second line when one line is too narrow, so the
// German captions show whole on the window's fixed button sizes. The text itself is unchanged.
class CaptionButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

    // The area the caption is drawn in, and whether the whole caption fits into it.
    QRect captionRect() const;
    bool captionFits() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};
