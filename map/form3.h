#pragma once

#include "app/closeboxdialog.h"
#include "map/pageloader.h"

#include <memory>

class Form1;

namespace Ui {
class Form3;
}

// The map window: follows the main window's position fields on an embedded web map, at the
// zoom chosen in its list, unless "Anhalten" is ticked. Created hidden; closing it ends it.
class Form3 : public CloseBoxDialog {
    Q_OBJECT
public:
    Form3(Form1 &form1, const PageLoaderFactory &makePageLoader);
    ~Form3() override;

    Ui::Form3 &ui() { return *m_ui; }

    // Creation step: selecting "12" runs the zoom choice, which loads the first map.
    void MapWindowLoad();
    // Each change of the selection in the zoom list, by the user or by the creation step.
    void ZoomChosen();
    // Called by the main window's change handlers of the latitude and longitude fields.
    void LatitudeChanged() { followPosition(); }
    void LongitudeChanged() { followPosition(); }

private:
    void followPosition();
    void load(const QString &address);

    std::unique_ptr<Ui::Form3> m_ui;
    Form1 &m_form1;
    std::unique_ptr<PageLoader> m_loader;
};
