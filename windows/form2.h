#pragma once

#include "windows/closeboxdialog.h"

#include <memory>

namespace Ui {
class Form2;
}

// The about box: three lines of text, nothing to operate; closed with its close box.
class Form2 : public CloseBoxDialog {
    Q_OBJECT
public:
    explicit Form2(QWidget *parent = nullptr);
    ~Form2() override;

    Ui::Form2 &ui() { return *m_ui; }

private:
    std::unique_ptr<Ui::Form2> m_ui;
};
