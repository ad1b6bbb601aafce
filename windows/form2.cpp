#include "windows/form2.h"

#include "ui_form2.h"

Form2::Form2(QWidget *parent)
    : CloseBoxDialog(parent)
    , m_ui(std::make_unique<Ui::Form2>()) {
    m_ui->setupUi(this);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(128, 255, 255));
    setPalette(background);
}

Form2::~Form2() = default;
