#include "windows/form1.h"

#include "logic/mapaddress.h"
#include "logic/portname.h"
#include "logic/settings.h"
#include "logic/trace.h"
#include "session/session.h"
#include "ui_form1.h"
#include "windows/form2.h"
#include "windows/form3.h"
#include "windows/indicator.h"
#include "windows/logview.h"
#include "windows/portsuggestions.h"
#include "windows/skywindow.h"

#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>

#include <array>

// The main window's controls by what they do. The names on the right are the object names of the
// .ui file, which the user, the tests and the trace know; this is the one place that ties the two.
struct Form1::Controls {
    explicit Controls(Ui::Form1 &ui)
        : inputPort(ui.Combo1)
        , inputBaudRate(ui.Combo2)
        , inputDataBits(ui.Combo4)
        , inputStopBits(ui.Combo5)
        , activateInput(ui.Command1)
        , deactivateInput(ui.Command2)
        , inputIndicator(ui.Command3)
        , outputPort(ui.Combo7)
        , outputBaudRate(ui.Combo8)
        , outputDataBits(ui.Combo10)
        , outputStopBits(ui.Combo11)
        , activateOutput(ui.Command5)
        , deactivateOutput(ui.Command6)
        , outputIndicator(ui.Command7)
        , receiveView(ui.Text1)
        , copyBuffer(ui.Command4)
        , typeList(ui.RichTextBox1)
        , checksumTest(ui.Check1)
        , zone(ui.Combo6)
        , summerTime(ui.Check2)
        , intervals(ui.Option1)
        , intervalOptions{ui.Option1_0, ui.Option1_1, ui.Option1_2, ui.Option1_3, ui.Option1_4}
        , buildLink(ui.Command8)
        , link(ui.Text2)
        , openLink(ui.Command9)
        , utcDate(ui.Label19)
        , utcTime(ui.Label20)
        , latitude(ui.Label21)
        , longitude(ui.Label22)
        , altitude(ui.Label23)
        , localDateTime(ui.Label24)
        , course(ui.Label25)
        , speed(ui.Label26)
        , pdop(ui.Label13)
        , satellites{ui.Label12_0, ui.Label12_1, ui.Label12_2,  ui.Label12_3,
                     ui.Label12_4, ui.Label12_5, ui.Label12_6,  ui.Label12_7,
                     ui.Label12_8, ui.Label12_9, ui.Label12_10, ui.Label12_11}
        , converter(ui.rechner)
        , map(ui.karte)
        , sky(ui.satelliten)
        , about(ui.info)
        , end(ui.ende) {}

    // The input port; the parity list Combo3 is shown but never read.
    QComboBox *inputPort, *inputBaudRate, *inputDataBits, *inputStopBits;
    QPushButton *activateInput, *deactivateInput, *inputIndicator;
    // The output port; Combo9 is its unread parity list.
    QComboBox *outputPort, *outputBaudRate, *outputDataBits, *outputStopBits;
    QPushButton *activateOutput, *deactivateOutput, *outputIndicator;
    // The receive buffer, its copy to the clipboard and the sentence types seen.
    LogView *receiveView;
    QPushButton *copyBuffer;
    QPlainTextEdit *typeList;
    // Settings.
    QCheckBox *checksumTest;
    QComboBox *zone;
    QCheckBox *summerTime;
    QButtonGroup *intervals;
    std::array<QAbstractButton *, 5> intervalOptions; // Option1(0) to Option1(4)
    // The place link.
    QPushButton *buildLink;
    QLineEdit *link;
    QPushButton *openLink;
    // The display fields.
    QLabel *utcDate, *utcTime, *latitude, *longitude, *altitude, *localDateTime, *course, *speed,
        *pdop;
    std::array<QLabel *, 12> satellites; // Label12(0) to Label12(11)
    // The menu.
    QAction *converter, *map, *sky, *about, *end;
};

namespace {

const QColor kWindowBackground(128, 255, 255);

std::unique_ptr<Ui::Form1> createUi(QMainWindow *window) {
    auto ui = std::make_unique<Ui::Form1>();
    ui->setupUi(window);
    return ui;
}

// The option group is one stop in the keyboard order, entered at the selected option, as option
// buttons are; the arrow keys move within it.
void tabStopAtSelection(const QButtonGroup &group) {
    for (QAbstractButton *button : group.buttons())
        button->setFocusPolicy(button->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

// The tooltip names the device the list's current text opens, typed or chosen, or what its
// network address does on this list's port.
void nameDeviceInToolTip(QComboBox *list, PortDirection direction) {
    list->setToolTip(portToolTip(list->currentText(), direction));
    QObject::connect(
        list, &QComboBox::editTextChanged, list,
        [list, direction](const QString &text) { list->setToolTip(portToolTip(text, direction)); });
}

// What a port that is active but not open waits for, as its indicator's tooltip says it.
QString waitingText(const PortWait &wait) {
    QString text = QStringLiteral("Nicht verbunden: ") + wait.device;
    if (!wait.reason.isEmpty())
        text += u'\n' + wait.reason;
    if (wait.nextTryInMs)
        text += QStringLiteral("\nN\u00e4chster Versuch in %1 s")
                    .arg(QString::number(double(*wait.nextTryInMs) / 1000));
    return text;
}

PortSettings settingsOf(QComboBox *port, QComboBox *baudRate, QComboBox *dataBits,
                        QComboBox *stopBits) {
    return {.port = port->currentText(),
            .baudRate = baudRate->currentText(),
            .dataBits = dataBits->currentText(),
            .stopBits = stopBits->currentText()};
}

} // namespace

Form1::Form1(Session &session, Desktop desktop, QWidget *parent)
    : QMainWindow(parent)
    , m_session(session)
    , m_desktop(std::move(desktop))
    , m_ui(createUi(this))
    , m_controls(std::make_unique<Controls>(*m_ui)) {
    QPalette background = m_ui->centralwidget->palette();
    background.setColor(QPalette::Window, kWindowBackground);
    m_ui->centralwidget->setPalette(background);
    // Both indicators start red without a caption, before any port was touched.
    Indicator::set(m_controls->inputIndicator, Indicator::kRed, QString());
    Indicator::set(m_controls->outputIndicator, Indicator::kRed, QString());

    showModel();
    bindSettings();
    bindPorts();
    bindMenu();
    MainWindowLoad();
}

Form1::~Form1() = default;

void Form1::showModel() {
    const Controls &c = *m_controls;
    DisplayModel &model = m_session.model();
    m_shownFields = {{c.utcDate, &model.utcDate},   {c.utcTime, &model.utcTime},
                     {c.latitude, &model.latitude}, {c.longitude, &model.longitude},
                     {c.altitude, &model.altitude}, {c.localDateTime, &model.localDateTime},
                     {c.course, &model.course},     {c.speed, &model.speed},
                     {c.pdop, &model.pdop}};
    for (std::size_t k = 0; k < c.satellites.size(); ++k)
        m_shownFields.push_back({c.satellites[k], &model.satellites[k]});
    for (const auto &[label, field] : m_shownFields) {
        // Plain text, never markup.
        label->setTextFormat(Qt::PlainText);
        label->setText(field->text());
        connect(field, &DisplayField::changed, this, &Form1::fieldChanged);
    }
    connect(&model, &DisplayModel::sentenceTypesChanged, this,
            [this] { m_controls->typeList->setPlainText(m_session.model().sentenceTypes()); });
    c.receiveView->setLog(&m_session.receiveLog());
    // LatitudeChanged and LongitudeChanged: both move the map.
    connect(&model.latitude, &DisplayField::changed, this, &Form1::moveMap);
    connect(&model.longitude, &DisplayField::changed, this, &Form1::moveMap);
}

// The labels follow their fields once per turn of the event loop: a decoder empties some fields
// and fills them again in every tick, and a label whose text ends as it was is not drawn anew.
void Form1::fieldChanged() {
    if (std::exchange(m_fieldsChanged, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_fieldsChanged = false;
            for (const auto &[label, field] : m_shownFields) {
                if (label->text() != field->text())
                    label->setText(field->text());
            }
        },
        Qt::QueuedConnection);
}

// The settings live in their controls; the session is told each change as it happens and reads
// them whenever it decodes.
void Form1::bindSettings() {
    const Controls &c = *m_controls;
    m_session.setChecksumTest(c.checksumTest->checkState() == Qt::Checked);
    connect(c.checksumTest, &QCheckBox::stateChanged, this,
            [this](int state) { m_session.setChecksumTest(state == Qt::Checked); });
    m_session.setZone(c.zone->currentText());
    connect(c.zone, &QComboBox::currentTextChanged, this,
            [this](const QString &zone) { m_session.setZone(zone); });
    m_session.setSummerTime(c.summerTime->isChecked());
    connect(c.summerTime, &QCheckBox::toggled, this,
            [this](bool on) { m_session.setSummerTime(on); });

    for (int index = 0; index < int(c.intervalOptions.size()); ++index)
        c.intervals->setId(c.intervalOptions[index], index);
    // ChooseInterval: the interval of the option now selected.
    connect(c.intervals, &QButtonGroup::idClicked, this,
            [this] { m_session.chooseInterval(m_controls->intervals->checkedId()); });
    tabStopAtSelection(*c.intervals);
    connect(c.intervals, &QButtonGroup::buttonToggled, this,
            [this] { tabStopAtSelection(*m_controls->intervals); });
    connect(c.copyBuffer, &QPushButton::clicked, this, &Form1::copyBuffer);
}

void Form1::bindPorts() {
    const Controls &c = *m_controls;
    for (QComboBox *list : {c.inputPort, c.outputPort}) {
        auto *suggestions = new PortSuggestions(list, m_desktop.presentPorts);
        if (list == c.inputPort) {
            // A look at gpsd while a port is active could be taken for a client of it.
            suggestions->offerGpsd(m_desktop.gpsdPort, [this] {
                return !m_session.input().isActive() && !m_session.output().isActive();
            });
        }
        nameDeviceInToolTip(list,
                            list == c.inputPort ? PortDirection::Input : PortDirection::Output);
    }
    connect(c.activateInput, &QPushButton::clicked, this, &Form1::activateInput);
    connect(c.deactivateInput, &QPushButton::clicked, &m_session, &Session::deactivateInput);
    connect(c.activateOutput, &QPushButton::clicked, this, &Form1::activateOutput);
    connect(c.deactivateOutput, &QPushButton::clicked, &m_session, &Session::deactivateOutput);
    connect(&m_session, &Session::portStateChanged, this, &Form1::showPortState);
    connect(&m_session, &Session::outputClientsChanged, this, [this](int count) {
        QPushButton *indicator = m_controls->outputIndicator;
        if (count < 0)
            indicator->setToolTip(QString());
        else
            indicator->setToolTip(count == 1 ? QStringLiteral("1 Client verbunden")
                                             : QStringLiteral("%1 Clients verbunden").arg(count));
    });
    connect(&m_session, &Session::outputTooSlow, this, [this] {
        showMessage(QStringLiteral("backlogMessage"),
                    QStringLiteral("Ausgang zu langsam: \u00e4ltere Daten wurden verworfen."),
                    Qt::NonModal);
    });
    connect(&m_session, &Session::receiveLogFull, this, [this] {
        showMessage(QStringLiteral("logFullMessage"),
                    QStringLiteral("Empfangspuffer voll: bis zum n\u00e4chsten Leeren wird nichts "
                                   "mehr angezeigt. Die Weiterleitung zum Ausgang l\u00e4uft "
                                   "weiter."),
                    Qt::NonModal);
    });
}

void Form1::MainWindowLoad() {
    m_controls->zone->setCurrentText(kDefaultZone.toString());
}

void Form1::activateInput() {
    const Controls &c = *m_controls;
    const PortFailure failure = m_session.activateInput(
        settingsOf(c.inputPort, c.inputBaudRate, c.inputDataBits, c.inputStopBits));
    if (failure.cause != PortFailure::Cause::None)
        showPortFailure(failure);
}

void Form1::activateOutput() {
    const Controls &c = *m_controls;
    const PortFailure failure = m_session.activateOutput(
        settingsOf(c.outputPort, c.outputBaudRate, c.outputDataBits, c.outputStopBits));
    if (failure.cause != PortFailure::Cause::None)
        showPortFailure(failure);
}

void Form1::showPortState(PortSide side, PortState state, const PortWait &wait) {
    QPushButton *indicator =
        side == PortSide::Input ? m_controls->inputIndicator : m_controls->outputIndicator;
    switch (state) {
    case PortState::Untouched:
        Indicator::set(indicator, Indicator::kRed, QString());
        break;
    case PortState::Open:
        Indicator::set(indicator, Indicator::kGreen, QStringLiteral("An"));
        break;
    case PortState::Waiting:
    case PortState::Closed:
        Indicator::set(indicator, Indicator::kRed, QStringLiteral("Aus"));
        break;
    }
    // An open TCP output's tooltip counts its clients, as they come and go.
    QString tip;
    if (state == PortState::Waiting)
        tip = waitingText(wait);
    else if (state == PortState::Open && !wait.source.isEmpty())
        tip = QStringLiteral("gpsd liest ") + wait.source;
    indicator->setToolTip(tip);
}

void Form1::showPortFailure(const PortFailure &failure) {
    // The user answers this one before going on with the settings; the detail says which.
    showMessage(QStringLiteral("portMessage"), QStringLiteral("falsche Porteinstellung"),
                Qt::WindowModal, portFailureDetail(failure));
}

void Form1::showMessage(const QString &name, const QString &text, Qt::WindowModality modality,
                        const QString &detail) {
    if (auto *shown = findChild<QMessageBox *>(name, Qt::FindDirectChildrenOnly)) {
        shown->raise();
        return;
    }
    // Never exec(): ticks and received data go on while a message waits.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Achtung"), text,
                                QMessageBox::Ok, this);
    box->setObjectName(name);
    box->setInformativeText(detail);
    if (!detail.isEmpty()) {
        // Left to itself the box wraps the detail into a narrow column and breaks device paths
        // at their slashes; a spacer across the bottom row gives it a readable width.
        if (auto *grid = qobject_cast<QGridLayout *>(box->layout()))
            grid->addItem(new QSpacerItem(box->fontMetrics().averageCharWidth() * 50, 0,
                                          QSizePolicy::Minimum, QSizePolicy::Fixed),
                          grid->rowCount(), 0, 1, grid->columnCount());
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(modality);
    box->show();
}

void Form1::copyBuffer() {
    const QString text = m_session.receiveLog().text().toString();
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
    trace({QStringLiteral("clipboard"), text});
}

// ---- the map window

Form3 *Form1::mapWindow() {
    if (!m_form3) {
        const DisplayModel &model = m_session.model();
        m_form3 = new Form3(model.latitude.text(), model.longitude.text(), m_desktop.makePageLoader,
                            this);
    }
    return m_form3;
}

void Form1::moveMap() {
    const DisplayModel &model = m_session.model();
    mapWindow()->PositionChanged(model.latitude.text(), model.longitude.text());
}

// ---- the place link

void Form1::buildPlaceLink() {
    const DisplayModel &model = m_session.model();
    m_controls->link->setText(placeLink(model.latitude.text(), model.longitude.text()));
}

// Whatever the box holds goes to the desktop as it is; what the handler makes of it is its own
// business. Only when nothing takes it at all is the user told, or the click would seem lost.
void Form1::openPlaceLink() {
    const QString text = m_controls->link->text();
    trace({QStringLiteral("open"), text});
    if (m_desktop.openUrl(text))
        return;
    showMessage(QStringLiteral("linkMessage"),
                QStringLiteral("Der Link lie\u00df sich nicht \u00f6ffnen: kein Programm hat ihn "
                               "angenommen."),
                Qt::NonModal);
}

// ---- the menu

void Form1::bindMenu() {
    const Controls &c = *m_controls;
    connect(c.buildLink, &QPushButton::clicked, this, &Form1::buildPlaceLink);
    connect(c.openLink, &QPushButton::clicked, this, &Form1::openPlaceLink);
    connect(c.converter, &QAction::triggered, this, &Form1::startConverter);
    connect(c.map, &QAction::triggered, this, &Form1::showMapWindow);
    connect(c.sky, &QAction::triggered, this, &Form1::showSkyWindow);
    connect(c.about, &QAction::triggered, this, &Form1::showAboutBox);
    connect(c.end, &QAction::triggered, this, &Form1::close);
}

void Form1::startConverter() {
    const QString program = converterProgram();
    const bool started = m_desktop.startProgram(program);
    trace({QStringLiteral("start"), QStringLiteral("tabrex"), started});
    if (started)
        return;
    // Told without holding up the display: the box is not modal, and one is enough.
    const QString name = QStringLiteral("converterMessage");
    if (auto *shown = findChild<QMessageBox *>(name)) {
        shown->raise();
        return;
    }
    auto *message = new QMessageBox(
        QMessageBox::Warning, QStringLiteral("Rechner"),
        QStringLiteral("Rechner (tabrex) konnte nicht gestartet werden."), QMessageBox::Ok, this);
    message->setObjectName(name);
    message->setAttribute(Qt::WA_DeleteOnClose);
    message->setModal(false);
    message->show();
}

// The modal show runs its own event loop, in which ticks and received data keep being served,
// so the display and the map behind it keep updating.
void Form1::showMapWindow() {
    mapWindow()->exec();
}

// Beside the main window, not in its way: one instance, brought forward when asked for again.
void Form1::showSkyWindow() {
    if (!m_skyWindow) {
        m_skyWindow = new SkyWindow(m_session, this);
        m_skyWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_skyWindow->show();
    m_skyWindow->raise();
    m_skyWindow->activateWindow();
}

void Form1::showAboutBox() {
    auto *about = new Form2(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->exec();
}

// The close box ends the program as "Ende" does, also while a hidden map window exists. The ports
// are not deactivated: they end together with the session.
void Form1::closeEvent(QCloseEvent *event) {
    event->accept();
    QCoreApplication::quit();
}
