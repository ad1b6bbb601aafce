#include "windows/form1.h"

#include "logic/localtime.h"
#include "logic/trace.h"
#include "ui_form1.h"
#include "windows/form3.h"
#include "windows/indicator.h"
#include "windows/logview.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QClipboard>
#include <QGuiApplication>

#include <array>

namespace {

const QColor kWindowBackground(128, 255, 255);

std::unique_ptr<Ui::Form1> createUi(QMainWindow *window) {
    auto ui = std::make_unique<Ui::Form1>();
    ui->setupUi(window);
    return ui;
}

// The label shows the field's text as plain text, never as markup.
void paint(QLabel *label, const DisplayField &field) {
    label->setTextFormat(Qt::PlainText);
    QObject::connect(&field, &DisplayField::changed, label,
                     [label, &field] { label->setText(field.text()); });
}

// The option group is one stop in the keyboard order, entered at the selected option, as option
// buttons are; the arrow keys move within it.
void tabStopAtSelection(const QButtonGroup &group) {
    for (QAbstractButton *button : group.buttons())
        button->setFocusPolicy(button->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

} // namespace

Form1::Form1(QWidget *parent)
    : Form1(Desktop(), parent) {}

Form1::Form1(Desktop desktop, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(createUi(this))
    , m_module1(m_model, m_log, [this] { return m_ui->Check1->checkState() == Qt::Checked; })
    , m_pollCycle(m_module1, m_model, m_log, [this] { return m_commX1.IsOpen(); })
    , m_desktop(std::move(desktop)) {
    QPalette background = m_ui->centralwidget->palette();
    background.setColor(QPalette::Window, kWindowBackground);
    m_ui->centralwidget->setPalette(background);

    m_timer1.setInterval(500);
    // Both indicators start red without a caption, before any port was touched.
    Indicator::set(m_ui->Command3, Indicator::kRed, QString());
    Indicator::set(m_ui->Command7, Indicator::kRed, QString());

    m_ui->Text1->setLog(&m_log);
    paintModel();
    connectLocalTime(
        m_model, m_module1, [this] { return m_ui->Combo6->currentText(); },
        [this] { return m_ui->Check2->isChecked(); }, this);
    connect(&m_model.Label21, &DisplayField::changed, this, &Form1::LatitudeChanged);
    connect(&m_model.Label22, &DisplayField::changed, this, &Form1::LongitudeChanged);
    setUpPortLists();
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

void Form1::paintModel() {
    paint(m_ui->Label19, m_model.Label19);
    paint(m_ui->Label20, m_model.Label20);
    paint(m_ui->Label21, m_model.Label21);
    paint(m_ui->Label22, m_model.Label22);
    paint(m_ui->Label23, m_model.Label23);
    paint(m_ui->Label24, m_model.Label24);
    paint(m_ui->Label25, m_model.Label25);
    paint(m_ui->Label26, m_model.Label26);
    paint(m_ui->Label13, m_model.Label13);
    const std::array satellites{m_ui->Label12_0, m_ui->Label12_1,  m_ui->Label12_2,
                                m_ui->Label12_3, m_ui->Label12_4,  m_ui->Label12_5,
                                m_ui->Label12_6, m_ui->Label12_7,  m_ui->Label12_8,
                                m_ui->Label12_9, m_ui->Label12_10, m_ui->Label12_11};
    for (std::size_t k = 0; k < satellites.size(); ++k)
        paint(satellites[k], m_model.Label12[k]);
    connect(&m_model, &DisplayModel::sentenceTypesChanged, this,
            [this] { m_ui->RichTextBox1->setPlainText(m_model.sentenceTypes()); });
}

void Form1::MainWindowLoad() {
    m_ui->Combo6->setCurrentText(QStringLiteral("+1"));
}

// The map window is created hidden on first use and lives until the user closes it.
Form3 *Form1::mapWindow() {
    if (!m_form3)
        m_form3 = new Form3(m_module1.mapZoom, m_model.Label21.text(), m_model.Label22.text(),
                            m_desktop.makePageLoader, this);
    return m_form3;
}

void Form1::LatitudeChanged() {
    mapWindow()->PositionChanged(m_model.Label21.text(), m_model.Label22.text());
}

void Form1::LongitudeChanged() {
    mapWindow()->PositionChanged(m_model.Label21.text(), m_model.Label22.text());
}

void Form1::connectPollCycle() {
    const std::array options{m_ui->Option1_0, m_ui->Option1_1, m_ui->Option1_2, m_ui->Option1_3,
                             m_ui->Option1_4};
    for (int index = 0; index < int(options.size()); ++index)
        m_ui->Option1->setId(options[index], index);
    connect(m_ui->Option1, &QButtonGroup::idClicked, this,
            [this](int index) { ChooseInterval(qint16(index)); });
    tabStopAtSelection(*m_ui->Option1);
    connect(m_ui->Option1, &QButtonGroup::buttonToggled, this,
            [this] { tabStopAtSelection(*m_ui->Option1); });
    connect(&m_timer1, &QTimer::timeout, this, [this] { m_pollCycle.PollTick(); });
    connect(m_ui->Command4, &QPushButton::clicked, this, &Form1::CopyBuffer);
}

void Form1::ChooseInterval(qint16 /*index*/) {
    for (int index = 0; index < int(kPollIntervals.size()); ++index) {
        if (m_ui->Option1->button(index)->isChecked())
            m_module1.pollInterval = kPollIntervals[index];
    }
    m_timer1.setInterval(m_module1.pollInterval);
}

void Form1::CopyBuffer() {
    const QString text = m_log.text().toString();
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
    trace({QStringLiteral("clipboard"), text});
}
