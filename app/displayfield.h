#pragma once

#include <QLabel>

// A label that holds one decoded value. Writing a different text raises changed() at once,
// inside the write; writing the same text raises nothing.
class DisplayField : public QLabel {
    Q_OBJECT
public:
    explicit DisplayField(QWidget *parent = nullptr);

    void write(const QString &text);
    QString text() const { return m_text; }

    // Name under which the trace reports this field, "Label20" or "Label12(3)".
    QString fieldName() const;

signals:
    void changed();

private:
    // Held apart from QLabel's text so that reading back never depends on rendering.
    QString m_text;
};
