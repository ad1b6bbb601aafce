#include "map/form3.h"

#include "app/form1.h"
#include "app/trace.h"
#include "map/mapaddress.h"
#include "map/mappages.h"
#include "ui_form3.h"

namespace {

const QColor kWindowBackground(192, 255, 255);
const QColor kReadoutBackground(255, 255, 192);

void setBackground(QWidget *widget, const QColor &colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

} // namespace

Form3::Form3(Form1 &form1, const PageLoaderFactory &makePageLoader)
    : QDialog(&form1)
    , m_ui(std::make_unique<Ui::Form3>())
    , m_form1(form1) {
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setBackground(this, kWindowBackground);
    setBackground(m_ui->Label4, kReadoutBackground);
    setBackground(m_ui->Label5, kReadoutBackground);
    setBackground(m_ui->WebBrowser1, Qt::white);
    m_loader = makePageLoader(m_ui->WebBrowser1, [this] {
        return unreachableMapPage(m_form1.Label21()->text(), m_form1.Label22()->text());
    });

    connect(m_ui->Combo1, &QComboBox::currentIndexChanged, this, &Form3::ZoomChosen);
    MapWindowLoad();
}

Form3::~Form3() = default;

void Form3::MapWindowLoad() {
    m_ui->Combo1->setCurrentText(QStringLiteral("12"));
}

void Form3::ZoomChosen() {
    QString &mapZoom = m_form1.module1().mapZoom;
    mapZoom = m_ui->Combo1->currentText();
    load(mapAddress(m_form1.Label21()->text(), m_form1.Label22()->text(), mapZoom));
}

void Form3::followPosition() {
    if (m_ui->Check1->isChecked())
        return;
    const QString latitude = m_form1.Label21()->text();
    const QString longitude = m_form1.Label22()->text();
    load(mapAddress(latitude, longitude, m_form1.module1().mapZoom));
    // The read-outs show the position of the last load, so they stand still while paused.
    m_ui->Label4->setText(withoutBlanks(latitude));
    m_ui->Label5->setText(withoutBlanks(longitude));
}

void Form3::load(const QString &address) {
    trace({QStringLiteral("map"), address});
    m_loader->load(address);
}
