#include "logic/trace.h"
#include "windows/form1.h"
#include "windows/form2.h"
#include "windows/form3.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMessageBox>

void Form1::StartConverter() {
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

// The modal show runs its own event loop, in which ticks and serial data keep being served, so
// the display and the map behind it keep updating.
void Form1::ShowMapWindow() {
    mapWindow()->exec();
}

void Form1::ShowAboutBox() {
    auto *about = new Form2(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->exec();
}

void Form1::EndProgram() {
    close();
}

// The close box ends the program as "Ende" does, also while a hidden map window exists. The ports
// are not deactivated: they end together with this window.
void Form1::closeEvent(QCloseEvent *event) {
    event->accept();
    QCoreApplication::quit();
}
