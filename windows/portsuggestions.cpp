#include "windows/portsuggestions.h"

#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QLineEdit>
#include <QStringListModel>

PortSuggestions::PortSuggestions(QComboBox *list, std::function<QStringList()> devicesPresent)
    : QObject(list)
    , m_devicesPresent(std::move(devicesPresent))
    , m_completer(new QCompleter(this)) {
    m_model = new QStringListModel(m_completer);
    m_completer->setModel(m_model);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    // "usb" finds both /dev/ttyUSB0 and its name under /dev/serial/by-id/.
    m_completer->setFilterMode(Qt::MatchContains);
    list->setCompleter(m_completer);
    // The list, not its line edit, receives the focus events.
    list->installEventFilter(this);
    connect(list->lineEdit(), &QLineEdit::textEdited, this, [this] {
        if (m_firstKeystroke)
            refresh();
        m_firstKeystroke = false;
    });
}

bool PortSuggestions::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusIn) {
        refresh();
        m_firstKeystroke = true;
    }
    return QObject::eventFilter(watched, event);
}

void PortSuggestions::refresh() {
    const QStringList present = m_devicesPresent();
    if (present != m_model->stringList())
        m_model->setStringList(present);
}
