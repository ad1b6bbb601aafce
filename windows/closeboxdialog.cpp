#include "windows/closeboxdialog.h"

#include <QKeyEvent>

void CloseBoxDialog::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Cancel)) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}
