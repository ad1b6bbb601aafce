#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QComboBox;
class QCompleter;
class QStringListModel;

// Suggests the serial devices present while the user is at a port list. The suggestions are
// looked up when the list gets the focus and again at the first keystroke after that, never by
// polling; the list's own entries stay as they are.
class PortSuggestions : public QObject {
public:
    PortSuggestions(QComboBox *list, std::function<QStringList()> devicesPresent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();

    std::function<QStringList()> m_devicesPresent;
    QCompleter *m_completer;
    QStringListModel *m_model;
    bool m_firstKeystroke = false;
};
