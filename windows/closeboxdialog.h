#pragma once

#include <QDialog>

// A window that only its close box or its own commands close: Escape, which would end a plain
// dialog (and, for a window deleted on close, everything set in it), does nothing here.
class CloseBoxDialog : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
