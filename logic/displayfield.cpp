#include "logic/displayfield.h"

#include "logic/trace.h"

void DisplayField::write(const QString &text) {
    if (text == m_text)
        return;
    m_text = text;
    trace({QStringLiteral("field"), m_name, text});
    emit changed();
}
