#include "app/form1.h"
#include "map/form3.h"

// The map window is created hidden on first use and lives until the user closes it.
Form3 *Form1::mapWindow() {
    if (!m_form3)
        m_form3 = new Form3(*this, m_desktop.makePageLoader);
    return m_form3;
}

void Form1::LatitudeChanged() {
    mapWindow()->LatitudeChanged();
}

void Form1::LongitudeChanged() {
    mapWindow()->LongitudeChanged();
}
