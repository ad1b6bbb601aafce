#pragma once

#include <QTimer>
#include <QWidget>

#include <memory>

class Session;
namespace Ui {
class SkyWindow;
}

// "Satelliten": every constellation's satellites in a sky plot and as signal bars, and the fix of
// any talker in words, beside the main window and apart from it. It reads the session's sky, a
// few times a second while shown and never per sentence.
class SkyWindow : public QWidget {
    Q_OBJECT
public:
    // The session must outlive the window.
    explicit SkyWindow(const Session &session, QWidget *parent = nullptr);
    ~SkyWindow() override;

    Ui::SkyWindow &ui() { return *m_ui; }

    // At most this often a change reaches the views.
    static constexpr int kRefreshMs = 500;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void skyChanged();
    void refresh();
    void showAges();

    const Session &m_session;
    std::unique_ptr<Ui::SkyWindow> m_ui;
    QTimer m_refresh;       // gathers the changes of a burst into one refresh
    bool m_changed = false; // since the last refresh, while m_refresh runs
    QTimer m_ages;          // the ages go on while nothing arrives
};
