// The input and output ports of the main window and the handling of each received chunk.
#include "logic/portname.h"
#include "ui_form1.h"
#include "windows/form1.h"
#include "windows/indicator.h"

#include <QMessageBox>

namespace {

// Writes one port's settings from its lists in the order the control expects and opens it.
// Ends at the first list text that is no number; false then, or when Open fails.
bool configureAndOpen(CommX &port, const QComboBox *name, const QComboBox *baud,
                      const QComboBox *dataBits, const QComboBox *stopBits) {
    port.PortName(kComPrefix.toString() + name->currentText());
    const std::optional<qint32> baudRate = portSettingNumber(baud->currentText());
    if (!baudRate)
        return false;
    port.BaudRate(*baudRate);
    const std::optional<qint32> bits = portSettingNumber(dataBits->currentText());
    if (!bits)
        return false;
    port.DataBits(*bits);
    // The parity list is shown but never read: the line always runs without parity.
    port.Parity(0);
    const std::optional<qint32> stop = portSettingNumber(stopBits->currentText());
    if (!stop)
        return false;
    port.StopBits(*stop);
    return port.Open();
}

} // namespace

void Form1::connectPorts() {
    connect(m_ui->Command1, &QPushButton::clicked, this, &Form1::ActivateInputPort);
    connect(m_ui->Command2, &QPushButton::clicked, this, &Form1::DeactivateInputPort);
    connect(m_ui->Command5, &QPushButton::clicked, this, &Form1::ActivateOutputPort);
    connect(m_ui->Command6, &QPushButton::clicked, this, &Form1::DeactivateOutputPort);
    // Each chunk reaches the output port on the I/O thread before it is handed to ReceiveChunk,
    // so forwarding never waits for text layout or a poll tick.
    m_commX1.forwardTo(m_commX2);
    connect(&m_commX1, &CommX::DataReceived, this, &Form1::ReceiveChunk);
    // A device that went away has closed its port; the indicator must not go on saying "An".
    connect(&m_commX1, &CommX::Lost, this,
            [this] { Indicator::set(m_ui->Command3, Indicator::kRed, QStringLiteral("Aus")); });
    connect(&m_commX2, &CommX::Lost, this,
            [this] { Indicator::set(m_ui->Command7, Indicator::kRed, QStringLiteral("Aus")); });
    connect(&m_commX2, &CommX::Dropped, this, &Form1::showBacklogWarning);
}

QMessageBox *Form1::portMessage() const {
    return m_portMessage;
}

QMessageBox *Form1::backlogMessage() const {
    return m_backlogMessage;
}

void Form1::showMessage(QPointer<QMessageBox> &message, const QString &text,
                        Qt::WindowModality modality) {
    if (message) {
        message->raise();
        return;
    }
    // Never exec(): ticks and received data go on while a message waits.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Achtung"), text,
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(modality);
    message = box;
    box->show();
}

void Form1::showBacklogWarning() {
    // Once: the program on the far end stays slow, and a message per dropped chunk would bury
    // the window.
    if (m_backlogWarned)
        return;
    m_backlogWarned = true;
    showMessage(m_backlogMessage,
                QStringLiteral("Ausgang zu langsam: \u00e4ltere Daten wurden verworfen."),
                Qt::NonModal);
}

void Form1::showPortFailure(CommX &port, QPushButton *indicator) {
    // Green stays only on a port that is still open (settings that were no number never reached
    // it); a port that was open and could not be opened again shows red. A port that never was
    // open keeps its indicator as it was.
    if (!port.IsOpen() && Indicator::colour(indicator) == Indicator::kGreen)
        Indicator::set(indicator, Indicator::kRed, QStringLiteral("Aus"));
    // The user answers this one before going on with the settings.
    showMessage(m_portMessage, QStringLiteral("falsche Porteinstellung"), Qt::WindowModal);
}

void Form1::ActivateInputPort() {
    // Enabling a running timer leaves its rhythm alone.
    if (!m_timer1.isActive())
        m_timer1.start();
    if (configureAndOpen(m_commX1, m_ui->Combo1, m_ui->Combo2, m_ui->Combo4, m_ui->Combo5))
        Indicator::set(m_ui->Command3, Indicator::kGreen, QStringLiteral("An"));
    else
        showPortFailure(m_commX1, m_ui->Command3);
}

void Form1::DeactivateInputPort() {
    m_timer1.stop();
    m_module1.ResetDisplay();
    m_commX1.Close();
    Indicator::set(m_ui->Command3, Indicator::kRed, QStringLiteral("Aus"));
    m_log.clear();
    m_model.setSentenceTypes(QString());
}

void Form1::ActivateOutputPort() {
    if (configureAndOpen(m_commX2, m_ui->Combo7, m_ui->Combo8, m_ui->Combo10, m_ui->Combo11)) {
        Indicator::set(m_ui->Command7, Indicator::kGreen, QStringLiteral("An"));
        m_backlogWarned = false;
    } else {
        showPortFailure(m_commX2, m_ui->Command7);
    }
}

void Form1::DeactivateOutputPort() {
    m_commX2.Close();
    Indicator::set(m_ui->Command7, Indicator::kRed, QStringLiteral("Aus"));
}

void Form1::ReceiveChunk(const QString &chunk) {
    // Always at the end of the buffer, whatever the user has selected in it. The output port has
    // had the chunk already (see connectPorts).
    m_log.append(chunk);
}
