#include "app/form1.h"
#include "app/trace.h"
#include "map/mapaddress.h"
#include "ui_form1.h"

void Form1::BuildPlaceLink() {
    m_ui->Text2->setText(placeLink(Label21()->text(), Label22()->text()));
}

// Whatever the box holds goes to the desktop as it is; what the handler makes of it is its own
// business, and its answer is not needed.
void Form1::OpenPlaceLink() {
    const QString text = m_ui->Text2->text();
    trace({QStringLiteral("open"), text});
    m_desktop.openUrl(text);
}
