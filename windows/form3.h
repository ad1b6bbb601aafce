#pragma once

#include "windows/closeboxdialog.h"
#include "windows/pageloader.h"

#include <memory>

namespace Ui {
class Form3;
}

// The map window: follows the position it is told on an embedded web map, or on a map drawn from
// the shipped outlines where the web map cannot be had, at the zoom chosen in its list, unless
// "Anhalten" is ticked. Created hidden; closing it ends it. Its browser (and with it the web
// engine) is made when the window is first shown: until then it keeps the latest map and loads
// nothing, since a map nobody looks at costs memory and traffic for nothing.
class Form3 : public CloseBoxDialog {
    Q_OBJECT
public:
    // latitude and longitude are the position texts of the moment, which the first map shows.
    Form3(QString latitude, QString longitude, const PageLoaderFactory &makePageLoader,
          QWidget *parent);
    ~Form3() override;

    Ui::Form3 &ui() { return *m_ui; }
    // The zoom the map addresses carry, as last chosen in the list.
    const QString &mapZoom() const { return m_mapZoom; }

    // Creation step: selecting "12" runs the zoom choice, which loads the first map.
    void MapWindowLoad();
    // Each change of the selection in the zoom list, by the user or by the creation step.
    void ZoomChosen();
    // Called by the change handlers of the latitude and longitude fields with both texts.
    void PositionChanged(const QString &latitude, const QString &longitude);

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Loads the map of this position at the chosen zoom, once the window has been shown.
    void load(const QString &latitude, const QString &longitude);

    std::unique_ptr<Ui::Form3> m_ui;
    PageLoaderFactory m_makePageLoader;
    MapRequest m_latest; // the map loaded last, or to be loaded when shown
    QString m_mapZoom;
    QString m_latitude;
    QString m_longitude;
    std::unique_ptr<PageLoader> m_loader; // none until first shown
};
