#pragma once

#include "app/desktop.h"
#include "app/displayfield.h"
#include "app/receivebuffer.h"
#include "nmea/module1.h"
#include "serial/commx.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <array>
#include <memory>

class Form3;
class QMessageBox;
class QPushButton;

namespace Ui {
class Form1;
}

// The main window: every setting, the display fields, the receive buffer, the poll timer and the
// two serial ports live here for the whole run.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);
    explicit Form1(Desktop desktop, QWidget *parent = nullptr);
    ~Form1() override;

    Ui::Form1 &ui() { return *m_ui; }

    DisplayField *Label19() const;
    DisplayField *Label20() const;
    DisplayField *Label21() const;
    DisplayField *Label22() const;
    DisplayField *Label23() const;
    DisplayField *Label24() const;
    DisplayField *Label25() const;
    DisplayField *Label26() const;
    DisplayField *Label13() const;
    const std::array<DisplayField *, 12> &Label12() const { return m_label12; }

    ReceiveBuffer &Text1() { return m_text1; }
    const ReceiveBuffer &Text1() const { return m_text1; }
    Module1 &module1() { return m_module1; }
    QTimer &Timer1() { return m_timer1; }

    // The checksum test runs exactly while "Kontrollsumme prüfen" is ticked.
    bool checksumTestOn() const;

    // The sentence-type list shown in RichTextBox1.
    QString sentenceTypes() const { return m_sentenceTypes; }
    void setSentenceTypes(const QString &list);

    void MainWindowLoad();

    // Change handlers of the display fields that have one.
    void UpdateLocalTime();
    void LatitudeChanged();
    void LongitudeChanged();

    // The input port CommX1 and the output port CommX2 (serial/ports.cpp).
    CommX &CommX1() { return m_commX1; }
    CommX &CommX2() { return m_commX2; }
    void ActivateInputPort();
    void DeactivateInputPort();
    void ActivateOutputPort();
    void DeactivateOutputPort();
    void ReceiveChunk(const QString &chunk);
    // The "falsche Porteinstellung" message of a failed activation while it is open; its
    // informative text says what was wrong.
    QMessageBox *portMessage() const;
    // The message that the output port dropped data it could not pass on, while it is open.
    QMessageBox *backlogMessage() const;

    // The poll cycle and the clipboard copy (nmea/pollcycle.cpp).
    void PollTick();
    void ChooseInterval(qint16 index);
    void CopyBuffer();

    // The map window, created hidden if it does not exist.
    Form3 *mapWindow();
    // Whether the map window exists right now, without creating it.
    bool hasMapWindow() const { return !m_form3.isNull(); }

    // Place link: "Google Link" and "Öffnen".
    void BuildPlaceLink();
    void OpenPlaceLink();
    // The message that nothing took the link, while it is open.
    QMessageBox *linkMessage() const;

    // Menu commands.
    void StartConverter();
    void ShowMapWindow();
    void ShowAboutBox();
    void EndProgram();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void connectPorts();
    void connectPollCycle();
    void showPortFailure(CommX &port, QPushButton *indicator, const PortFailure &failure);
    void showBacklogWarning();
    // Shows a warning titled "Achtung" without waiting for it; one at a time per message.
    void showMessage(QPointer<QMessageBox> &message, const QString &text,
                     Qt::WindowModality modality, const QString &detail = QString());

    std::unique_ptr<Ui::Form1> m_ui;
    std::array<DisplayField *, 12> m_label12{};
    ReceiveBuffer m_text1;
    Module1 m_module1;
    QTimer m_timer1;
    QString m_sentenceTypes;
    Desktop m_desktop;
    QPointer<Form3> m_form3; // lives until the user closes it
    CommX m_commX1{QStringLiteral("CommX1")};
    CommX m_commX2{QStringLiteral("CommX2")};
    QPointer<QMessageBox> m_portMessage;
    QPointer<QMessageBox> m_backlogMessage;
    QPointer<QMessageBox> m_linkMessage;
    bool m_backlogWarned = false; // since the output port was last activated
};
