#include "logic/mapaddress.h"
#include "logic/trace.h"
#include "ui_form1.h"
#include "windows/form1.h"

#include <QMessageBox>

void Form1::BuildPlaceLink() {
    m_ui->Text2->setText(placeLink(m_model.Label21.text(), m_model.Label22.text()));
}

// Whatever the box holds goes to the desktop as it is; what the handler makes of it is its own
// business. Only when nothing takes it at all is the user told, or the click would seem lost.
void Form1::OpenPlaceLink() {
    const QString text = m_ui->Text2->text();
    trace({QStringLiteral("open"), text});
    if (m_desktop.openUrl(text))
        return;
    showMessage(m_linkMessage,
                QStringLiteral("Der Link lie\u00df sich nicht \u00f6ffnen: kein Programm hat ihn "
                               "angenommen."),
                Qt::NonModal);
}

QMessageBox *Form1::linkMessage() const {
    return m_linkMessage;
}
