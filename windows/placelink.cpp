#include "logic/mapaddress.h"
#include "logic/trace.h"
#include "ui_form1.h"
#include "windows/form1.h"

void Form1::BuildPlaceLink() {
    m_ui->Text2->setText(placeLink(m_model.Label21.text(), m_model.Label22.text()));
}

// Whatever the box holds goes to the desktop as it is; what the handler makes of it is its own
// business, and its answer is not needed.
void Form1::OpenPlaceLink() {
    const QString text = m_ui->Text2->text();
    trace({QStringLiteral("open"), text});
    m_desktop.openUrl(text);
}
