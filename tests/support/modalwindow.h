#pragma once

// Modal windows run their own event loop; a test looks at them from inside it.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs `during` once a modal window is up, then closes it with its close box; gives up after a
// few seconds so that a window that never shows cannot hang the test. Call it just before the
// command that shows the window.
inline void whileModal(const std::function<void(QWidget *)> &during) {
    auto *poll = new QTimer;
    poll->setInterval(10);
    auto *deadline = new QElapsedTimer;
    deadline->start();
    QObject::connect(poll, &QTimer::timeout, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal && deadline->elapsed() < 5000)
            return;
        poll->stop();
        poll->deleteLater();
        delete deadline;
        if (modal) {
            during(modal);
            modal->close();
        }
    });
    poll->start();
}
