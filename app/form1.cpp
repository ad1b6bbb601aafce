#include "app/form1.h"

#include "app/indicator.h"
#include "app/logview.h"
#include "app/trace.h"
#include "ui_form1.h"

namespace {

const QColor kWindowBackground(128, 255, 255);

std::unique_ptr<Ui::Form1> createUi(QMainWindow *window) {
    auto ui = std::make_unique<Ui::Form1>();
    ui->setupUi(window);
    return ui;
}

} // namespace

Form1::Form1(QWidget *parent)
    : Form1(Desktop(), parent) {}

Form1::Form1(Desktop desktop, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(createUi(this))
    , m_module1(*this)
    , m_desktop(std::move(desktop)) {
    m_label12 = {m_ui->Label12_0, m_ui->Label12_1, m_ui->Label12_2,  m_ui->Label12_3,
                 m_ui->Label12_4, m_ui->Label12_5, m_ui->Label12_6,  m_ui->Label12_7,
                 m_ui->Label12_8, m_ui->Label12_9, m_ui->Label12_10, m_ui->Label12_11};

    QPalette background = m_ui->centralwidget->palette();
    background.setColor(QPalette::Window, kWindowBackground);
    m_ui->centralwidget->setPalette(background);

    m_ui->Text1->setLog(&m_receiveLog);
    m_timer1.setInterval(500);
    // Both indicators start red without a caption, before any port was touched.
    Indicator::set(m_ui->Command3, Indicator::kRed, QString());
    Indicator::set(m_ui->Command7, Indicator::kRed, QString());

    connect(Label20(), &DisplayField::changed, this, &Form1::UpdateLocalTime);
    connect(Label21(), &DisplayField::changed, this, &Form1::LatitudeChanged);
    connect(Label22(), &DisplayField::changed, this, &Form1::LongitudeChanged);
    connectPorts();
    connectPollCycle();

    connect(m_ui->Command8, &QPushButton::clicked, this, &Form1::BuildPlaceLink);
    connect(m_ui->Command9, &QPushButton::clicked, this, &Form1::OpenPlaceLink);
    connect(m_ui->rechner, &QAction::triggered, this, &Form1::StartConverter);
    connect(m_ui->karte, &QAction::triggered, this, &Form1::ShowMapWindow);
    connect(m_ui->info, &QAction::triggered, this, &Form1::ShowAboutBox);
    connect(m_ui->ende, &QAction::triggered, this, &Form1::EndProgram);

    MainWindowLoad();
}

Form1::~Form1() = default;

DisplayField *Form1::Label19() const {
    return m_ui->Label19;
}
DisplayField *Form1::Label20() const {
    return m_ui->Label20;
}
DisplayField *Form1::Label21() const {
    return m_ui->Label21;
}
DisplayField *Form1::Label22() const {
    return m_ui->Label22;
}
DisplayField *Form1::Label23() const {
    return m_ui->Label23;
}
DisplayField *Form1::Label24() const {
    return m_ui->Label24;
}
DisplayField *Form1::Label25() const {
    return m_ui->Label25;
}
DisplayField *Form1::Label26() const {
    return m_ui->Label26;
}
DisplayField *Form1::Label13() const {
    return m_ui->Label13;
}

bool Form1::checksumTestOn() const {
    return m_ui->Check1->checkState() == Qt::Checked;
}

void Form1::setSentenceTypes(const QString &list) {
    if (list == m_sentenceTypes)
        return;
    m_sentenceTypes = list;
    m_ui->RichTextBox1->setPlainText(list);
    trace({QStringLiteral("types"), list});
}

void Form1::MainWindowLoad() {
    m_ui->Combo6->setCurrentText(QStringLiteral("+1"));
}
