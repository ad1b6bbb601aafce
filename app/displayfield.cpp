#include "app/displayfield.h"

#include "app/trace.h"

#include <QRegularExpression>

DisplayField::DisplayField(QWidget *parent)
    : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

void DisplayField::write(const QString &text) {
    if (text == m_text)
        return;
    m_text = text;
    QLabel::setText(text);
    trace({QStringLiteral("field"), fieldName(), text});
    emit changed();
}

QString DisplayField::fieldName() const {
    // Control arrays are named "Label12_3" in the form and "Label12(3)" everywhere else.
    static const QRegularExpression arrayName(QStringLiteral("^(.*)_(\\d+)$"));
    const QRegularExpressionMatch match = arrayName.match(objectName());
    if (match.hasMatch())
        return match.captured(1) + u'(' + match.captured(2) + u')';
    return objectName();
}
