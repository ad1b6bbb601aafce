#pragma once

#include "windows/desktop.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <utility>
#include <vector>

class DisplayField;
class Form3;
class SkyWindow;
class QLabel;
class QMessageBox;
class Session;
enum class PortSide;
enum class PortState;
struct PortWait;
struct PortFailure;

namespace Ui {
class Form1;
}

// The main window: binds its widgets to a session, whose model and log they show and whose
// ports and settings they drive, and runs the menu, the map window, the place link and the about
// box.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    // The session must outlive the window.
    explicit Form1(Session &session, Desktop desktop = Desktop(), QWidget *parent = nullptr);
    ~Form1() override;

    // The widgets, under the object names of the .ui file.
    Ui::Form1 &ui() { return *m_ui; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct Controls;

    void showModel();
    void fieldChanged();
    void bindSettings();
    void bindPorts();
    void bindMenu();
    void MainWindowLoad();

    void activateInput();
    void activateOutput();
    void showPortState(PortSide side, PortState state, const PortWait &wait);
    void showPortFailure(const PortFailure &failure);
    void copyBuffer();

    // The map window, created hidden if it does not exist; LatitudeChanged and LongitudeChanged.
    Form3 *mapWindow();
    void moveMap();

    void buildPlaceLink();
    void openPlaceLink();

    void startConverter();
    void showMapWindow();
    void showSkyWindow();
    void showAboutBox();

    // Shows a warning titled "Achtung" without waiting for it; one at a time per name.
    void showMessage(const QString &name, const QString &text, Qt::WindowModality modality,
                     const QString &detail = QString());

    Session &m_session;
    Desktop m_desktop;
    std::unique_ptr<Ui::Form1> m_ui;
    std::unique_ptr<Controls> m_controls;
    QPointer<Form3> m_form3; // lives until the user closes it
    QPointer<SkyWindow> m_skyWindow;
    // Each display field's label, and whether a field has changed since they were last set.
    std::vector<std::pair<QLabel *, const DisplayField *>> m_shownFields;
    bool m_fieldsChanged = false;
};
