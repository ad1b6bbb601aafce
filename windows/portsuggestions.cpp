#include "windows/portsuggestions.h"

#include "io/gpsdlook.h"
#include "logic/netaddress.h"

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

void PortSuggestions::offerGpsd(quint16 port, std::function<bool()> mayLook) {
    m_gpsdPort = port;
    m_mayLookForGpsd = std::move(mayLook);
    m_gpsdLook = new GpsdLook(this);
    connect(m_gpsdLook, &GpsdLook::answered, this, [this](bool found) {
        m_gpsdFound = found;
        refresh(false);
    });
}

void PortSuggestions::refresh(bool look) {
    QStringList present = m_devicesPresent();
    if (m_gpsdFound) {
        present.prepend(m_gpsdPort == kGpsdPort ? QStringLiteral("gpsd://")
                                                : QStringLiteral("gpsd://:%1").arg(m_gpsdPort));
    }
    if (present != m_model->stringList())
        m_model->setStringList(present);
    // It holds nothing up, and gpsd on this machine answers within a second even while it is
    // busy making out a receiver.
    if (look && m_gpsdLook && m_mayLookForGpsd())
        m_gpsdLook->start(QStringLiteral("localhost"), m_gpsdPort, std::chrono::seconds(1));
}
