// The input and output ports of the main window and the handling of each received chunk.
#include "logic/portname.h"
#include "ui_form1.h"
#include "windows/form1.h"
#include "windows/indicator.h"

#include <QCompleter>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringListModel>

namespace {

PortFailure notANumber(PortSetting setting, const QComboBox *list) {
    return {
        .cause = PortFailure::Cause::NotANumber, .setting = setting, .value = list->currentText()};
}

// Names that lead to one device (a link and its target) count as that device.
bool sameDevice(const QString &a, const QString &b) {
    const QString target = QFileInfo(a).canonicalFilePath();
    return target.isEmpty() ? a == b : target == QFileInfo(b).canonicalFilePath();
}

// Writes one port's settings from its lists in the order the control expects and opens it.
// Ends at the first list text that is no number. Says why it failed; Cause::None when open.
// `held` is what a device the other port has open means for this one.
PortFailure configureAndOpen(CommX &port, const CommX &other, PortFailure::Cause held,
                             const QComboBox *name, const QComboBox *baud,
                             const QComboBox *dataBits, const QComboBox *stopBits) {
    const QString portName = kComPrefix.toString() + name->currentText();
    port.PortName(portName);
    const std::optional<qint32> baudRate = portSettingNumber(baud->currentText());
    if (!baudRate)
        return notANumber(PortSetting::BaudRate, baud);
    port.BaudRate(*baudRate);
    const std::optional<qint32> bits = portSettingNumber(dataBits->currentText());
    if (!bits)
        return notANumber(PortSetting::DataBits, dataBits);
    port.DataBits(*bits);
    // The parity list is shown but never read: the line always runs without parity.
    port.Parity(0);
    const std::optional<qint32> stop = portSettingNumber(stopBits->currentText());
    if (!stop)
        return notANumber(PortSetting::StopBits, stopBits);
    port.StopBits(*stop);
    // Both ports on one device would take each other's bytes. The device lock would turn the
    // second one away too, but only as "busy", which hides what to change.
    const QString device = portDevice(portName);
    if (other.IsOpen() && sameDevice(device, other.device()))
        return {.cause = held, .device = device};
    port.Open();
    return port.lastFailure();
}

// Suggests the serial devices present while the user is at a port list. The suggestions are
// looked up when the list gets the focus and again at the first keystroke after that, never by
// polling; the list's own entries stay as they are.
class PresentPorts : public QObject {
public:
    PresentPorts(QComboBox *list, std::function<QStringList()> presentPorts)
        : QObject(list)
        , m_presentPorts(std::move(presentPorts))
        , m_completer(new QCompleter(this)) {
        m_model = new QStringListModel(m_completer);
        m_completer->setModel(m_model);
        m_completer->setCaseSensitivity(Qt::CaseInsensitive);
        // "usb" finds both /dev/ttyUSB0 and its name under /dev/serial/by-id/.
        m_completer->setFilterMode(Qt::MatchContains);
        list->setCompleter(m_completer);
        // The list, not its line edit, receives the focus events.
        list->installEventFilter(this);
        connect(list->lineEdit(), &QLineEdit::textEdited, this, [this] {
            if (m_firstKeystroke)
                refresh();
            m_firstKeystroke = false;
        });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::FocusIn) {
            refresh();
            m_firstKeystroke = true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void refresh() {
        const QStringList present = m_presentPorts();
        if (present != m_model->stringList())
            m_model->setStringList(present);
    }

    std::function<QStringList()> m_presentPorts;
    QCompleter *m_completer;
    QStringListModel *m_model;
    bool m_firstKeystroke = false;
};

// What an indicator's tooltip says while its port is active but not open.
QString waitingToolTip(const CommX &port, const QString &reason, const QString &nextTryIn = {}) {
    QString text = QStringLiteral("Nicht verbunden: ") + port.device();
    if (!reason.isEmpty())
        text += QStringLiteral("\n") + reason;
    if (!nextTryIn.isEmpty())
        text += QStringLiteral("\nN\u00e4chster Versuch in %1 s").arg(nextTryIn);
    return text;
}

// Green only for a port that is open; one that is still reaching its peer shows red, and says
// what it waits for.
void showActivated(const CommX &port, QPushButton *indicator) {
    if (port.IsOpen()) {
        indicator->setToolTip(QString());
        Indicator::set(indicator, Indicator::kGreen, QStringLiteral("An"));
        return;
    }
    Indicator::set(indicator, Indicator::kRed, QStringLiteral("Aus"));
    indicator->setToolTip(waitingToolTip(port, QString()));
}

// The tooltip names the device the list's current text opens, typed or chosen, or what its
// network address does on this list's port.
void nameDeviceInToolTip(QComboBox *list, PortDirection direction) {
    list->setToolTip(portToolTip(list->currentText(), direction));
    QObject::connect(
        list, &QComboBox::editTextChanged, list,
        [list, direction](const QString &text) { list->setToolTip(portToolTip(text, direction)); });
}

} // namespace

void Form1::setUpPortLists() {
    for (QComboBox *list : {m_ui->Combo1, m_ui->Combo7}) {
        new PresentPorts(list, m_desktop.presentPorts);
        nameDeviceInToolTip(list,
                            list == m_ui->Combo1 ? PortDirection::Input : PortDirection::Output);
    }
}

void Form1::connectPorts() {
    connect(m_ui->Command1, &QPushButton::clicked, this, &Form1::ActivateInputPort);
    connect(m_ui->Command2, &QPushButton::clicked, this, &Form1::DeactivateInputPort);
    connect(m_ui->Command5, &QPushButton::clicked, this, &Form1::ActivateOutputPort);
    connect(m_ui->Command6, &QPushButton::clicked, this, &Form1::DeactivateOutputPort);
    // Each chunk reaches the output port on the I/O thread before it is handed to ReceiveChunk,
    // so forwarding never waits for text layout or a poll tick.
    m_commX1.forwardTo(m_commX2);
    m_commX2.setOutput(true);
    connect(&m_commX1, &CommX::DataReceived, this, &Form1::ReceiveChunk);
    // Text the window's thread fell too far behind for is missing; the log takes nothing more
    // until it is emptied, so that it never shows a gap as if it were received text.
    connect(&m_commX1, &CommX::Skipped, &m_log, &ReceiveLog::markFull);
    connect(&m_log, &ReceiveLog::filled, this, &Form1::showLogFullWarning);
    for (CommX *port : {&m_commX1, &m_commX2}) {
        QPushButton *indicator = port == &m_commX1 ? m_ui->Command3 : m_ui->Command7;
        // A device that went away has closed its port, and a network port whose peer is gone
        // is not open either; the indicator must not go on saying "An".
        connect(port, &CommX::Lost, this, [port, indicator] {
            Indicator::set(indicator, Indicator::kRed, QStringLiteral("Aus"));
            indicator->setToolTip(waitingToolTip(*port, QString()));
        });
        connect(port, &CommX::TryFailed, this,
                [port, indicator](const QString &reason, qint64 nextTryInMs) {
                    indicator->setToolTip(
                        waitingToolTip(*port, reason, QString::number(double(nextTryInMs) / 1000)));
                });
        connect(port, &CommX::Opened, this, [indicator] {
            indicator->setToolTip(QString());
            Indicator::set(indicator, Indicator::kGreen, QStringLiteral("An"));
        });
    }
    // A lost device that is back, or a network input's peer, has reopened its port as the user
    // left it set up; the window goes on as after a "Port aktivieren" by hand.
    connect(&m_commX1, &CommX::Returned, this, [this] {
        if (!m_timer1.isActive())
            m_timer1.start();
        m_ui->Command3->setToolTip(QString());
        Indicator::set(m_ui->Command3, Indicator::kGreen, QStringLiteral("An"));
    });
    connect(&m_commX2, &CommX::Returned, this, [this] {
        m_ui->Command7->setToolTip(QString());
        Indicator::set(m_ui->Command7, Indicator::kGreen, QStringLiteral("An"));
        // The device may be read by another program now; its slowness is news.
        m_backlogWarned = false;
    });
    connect(&m_commX2, &CommX::ClientsChanged, this, [this](int count) {
        m_ui->Command7->setToolTip(count == 1 ? QStringLiteral("1 Client verbunden")
                                              : QStringLiteral("%1 Clients verbunden").arg(count));
    });
    connect(&m_commX2, &CommX::Dropped, this, &Form1::showBacklogWarning);
}

QMessageBox *Form1::portMessage() const {
    return m_portMessage;
}

QMessageBox *Form1::backlogMessage() const {
    return m_backlogMessage;
}

void Form1::showMessage(QPointer<QMessageBox> &message, const QString &text,
                        Qt::WindowModality modality, const QString &detail) {
    if (message) {
        message->raise();
        return;
    }
    // Never exec(): ticks and received data go on while a message waits.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Achtung"), text,
                                QMessageBox::Ok, this);
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
    message = box;
    box->show();
}

void Form1::showBacklogWarning() {
    // Once: the program on the far end stays slow, and a message per dropped chunk would bury
    // the window. Bytes held for an output that is still being reached are another matter; its
    // indicator says so.
    if (m_backlogWarned || !m_commX2.IsOpen())
        return;
    m_backlogWarned = true;
    showMessage(m_backlogMessage,
                QStringLiteral("Ausgang zu langsam: \u00e4ltere Daten wurden verworfen."),
                Qt::NonModal);
}

void Form1::showLogFullWarning() {
    // Once per activation: a flood fills the log in every cycle.
    if (m_logFullWarned)
        return;
    m_logFullWarned = true;
    showMessage(m_logFullMessage,
                QStringLiteral("Empfangspuffer voll: bis zum n\u00e4chsten Leeren wird nichts mehr "
                               "angezeigt. Die Weiterleitung zum Ausgang l\u00e4uft weiter."),
                Qt::NonModal);
}

void Form1::showPortFailure(CommX &port, QPushButton *indicator, const PortFailure &failure) {
    // Green stays only on a port that is still open (settings that were no number never reached
    // it); a port that was open and could not be opened again shows red. A port that never was
    // open keeps its indicator as it was.
    if (!port.IsOpen() && Indicator::colour(indicator) == Indicator::kGreen)
        Indicator::set(indicator, Indicator::kRed, QStringLiteral("Aus"));
    // The user answers this one before going on with the settings; the detail says which.
    showMessage(m_portMessage, QStringLiteral("falsche Porteinstellung"), Qt::WindowModal,
                portFailureDetail(failure));
}

void Form1::ActivateInputPort() {
    // Enabling a running timer leaves its rhythm alone.
    if (!m_timer1.isActive())
        m_timer1.start();
    const PortFailure failure =
        configureAndOpen(m_commX1, m_commX2, PortFailure::Cause::HeldByOutput, m_ui->Combo1,
                         m_ui->Combo2, m_ui->Combo4, m_ui->Combo5);
    if (failure.cause == PortFailure::Cause::None) {
        m_logFullWarned = false;
        showActivated(m_commX1, m_ui->Command3);
    } else {
        showPortFailure(m_commX1, m_ui->Command3, failure);
    }
}

void Form1::DeactivateInputPort() {
    m_timer1.stop();
    m_module1.ResetDisplay();
    m_commX1.Close();
    m_ui->Command3->setToolTip(QString());
    Indicator::set(m_ui->Command3, Indicator::kRed, QStringLiteral("Aus"));
    m_log.clear();
    m_model.setSentenceTypes(QString());
}

void Form1::ActivateOutputPort() {
    const PortFailure failure =
        configureAndOpen(m_commX2, m_commX1, PortFailure::Cause::HeldByInput, m_ui->Combo7,
                         m_ui->Combo8, m_ui->Combo10, m_ui->Combo11);
    if (failure.cause == PortFailure::Cause::None) {
        showActivated(m_commX2, m_ui->Command7);
        m_backlogWarned = false;
    } else {
        showPortFailure(m_commX2, m_ui->Command7, failure);
    }
}

void Form1::DeactivateOutputPort() {
    m_commX2.Close();
    m_ui->Command7->setToolTip(QString());
    Indicator::set(m_ui->Command7, Indicator::kRed, QStringLiteral("Aus"));
}

void Form1::ReceiveChunk(const QString &chunk) {
    // Always at the end of the buffer, whatever the user has selected in it. The output port has
    // had the chunk already (see connectPorts).
    m_log.append(chunk);
}
