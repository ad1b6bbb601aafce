#pragma once

#include "io/commx.h"
#include "io/iothread.h"
#include "logic/displaymodel.h"
#include "logic/module1.h"
#include "logic/pollcycle.h"
#include "logic/receivelog.h"
#include "windows/desktop.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <memory>

class Form3;
class QMessageBox;
class QPushButton;

namespace Ui {
class Form1;
}

// The main window. It creates the display model, the receive log, the poll cycle and the two
// ports, lets its widgets paint the model and turns the user's commands into calls on them.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);
    explicit Form1(Desktop desktop, QWidget *parent = nullptr);
    ~Form1() override;

    Ui::Form1 &ui() { return *m_ui; }

    DisplayModel &model() { return m_model; }
    // The receive buffer's text; ui().Text1 only shows it.
    ReceiveLog &receiveLog() { return m_log; }
    Module1 &module1() { return m_module1; }
    PollCycle &pollCycle() { return m_pollCycle; }
    QTimer &Timer1() { return m_timer1; }

    void MainWindowLoad();

    // Change handlers of the latitude and longitude fields.
    void LatitudeChanged();
    void LongitudeChanged();

    // The input port CommX1 and the output port CommX2.
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
    void paintModel();
    void setUpPortLists();
    void connectPorts();
    void connectPollCycle();
    void showPortFailure(CommX &port, QPushButton *indicator, const PortFailure &failure);
    void showBacklogWarning();
    void showLogFullWarning();
    // Shows a warning titled "Achtung" without waiting for it; one at a time per message.
    void showMessage(QPointer<QMessageBox> &message, const QString &text,
                     Qt::WindowModality modality, const QString &detail = QString());

    std::unique_ptr<Ui::Form1> m_ui;
    DisplayModel m_model;
    ReceiveLog m_log;
    Module1 m_module1;
    PollCycle m_pollCycle;
    QTimer m_timer1;
    Desktop m_desktop;
    QPointer<Form3> m_form3; // lives until the user closes it
    IoThread m_ioThread;     // before the ports, which live on it, and ended after them
    CommX m_commX1{QStringLiteral("CommX1"), m_ioThread};
    CommX m_commX2{QStringLiteral("CommX2"), m_ioThread};
    QPointer<QMessageBox> m_portMessage;
    QPointer<QMessageBox> m_backlogMessage;
    QPointer<QMessageBox> m_linkMessage;
    QPointer<QMessageBox> m_logFullMessage;
    bool m_backlogWarned = false; // since the output port was last activated or came back
    bool m_logFullWarned = false; // since the input port was last activated
};
