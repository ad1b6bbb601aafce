#pragma once

#include <QObject>
#include <QString>

// One decoded value as display text. Writing a different text raises changed() at once, inside
// the write; writing the same text raises nothing.
class DisplayField : public QObject {
    Q_OBJECT
public:
    // The name under which the trace reports this field, "Label20" or "Label12(3)".
    explicit DisplayField(QString name)
        : m_name(std::move(name)) {}

    void write(const QString &text);
    const QString &text() const { return m_text; }
    const QString &fieldName() const { return m_name; }

signals:
    void changed();

private:
    QString m_name;
    QString m_text;
};
