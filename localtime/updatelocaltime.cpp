#include "app/form1.h"
#include "localtime/localtime.h"
#include "ui_form1.h"

// Runs inside every change of the UTC time field and of the UTC date field; the poll tick writes
// the date first, so the time of the same tick follows and the last write pairs the two. The time
// zone and summer-time box are read now, so a change to them shows with the next date or time.
void Form1::UpdateLocalTime() {
    const bool summerTime = m_ui->Check2->isChecked();
    const std::optional<QString> local = localTimeText(Label19()->text(), Label20()->text(),
                                                       m_ui->Combo6->currentText(), summerTime);
    if (local)
        Label24()->write(*local);
}
