#include "windows/form3.h"

#include "logic/mapaddress.h"
#include "logic/trace.h"
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

Form3::Form3(QString latitude, QString longitude, const PageLoaderFactory &makePageLoader,
             QWidget *parent)
    : CloseBoxDialog(parent)
    , m_ui(std::make_unique<Ui::Form3>())
    , m_makePageLoader(makePageLoader)
    , m_latitude(std::move(latitude))
    , m_longitude(std::move(longitude)) {
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setBackground(this, kWindowBackground);
    setBackground(m_ui->Label4, kReadoutBackground);
    setBackground(m_ui->Label5, kReadoutBackground);
    setBackground(m_ui->WebBrowser1, Qt::white);

    connect(m_ui->Combo1, &QComboBox::currentIndexChanged, this, &Form3::ZoomChosen);
    MapWindowLoad();
}

Form3::~Form3() = default;

void Form3::MapWindowLoad() {
    m_ui->Combo1->setCurrentText(QStringLiteral("12"));
}

void Form3::ZoomChosen() {
    m_mapZoom = m_ui->Combo1->currentText();
    load(m_latitude, m_longitude);
}

void Form3::PositionChanged(const QString &latitude, const QString &longitude) {
    // Kept while paused too: a zoom change shows the position of that moment.
    m_latitude = latitude;
    m_longitude = longitude;
    if (m_ui->Check1->isChecked())
        return;
    load(latitude, longitude);
    // The read-outs show the position of the last load, so they stand still while paused.
    m_ui->Label4->setText(withoutBlanks(latitude));
    m_ui->Label5->setText(withoutBlanks(longitude));
}

void Form3::load(const QString &latitude, const QString &longitude) {
    const QString address = mapAddress(latitude, longitude, m_mapZoom);
    trace({QStringLiteral("map"), address});
    m_latest = {.address = address,
                .latitudeField = latitude,
                .longitudeField = longitude,
                .zoom = m_mapZoom.toInt()};
    if (m_loader)
        m_loader->load(m_latest);
}

void Form3::showEvent(QShowEvent *event) {
    CloseBoxDialog::showEvent(event);
    if (m_loader)
        return;
    m_loader = m_makePageLoader(m_ui->WebBrowser1);
    if (!m_latest.address.isEmpty())
        m_loader->load(m_latest);
}
