#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class GpsdLook;
class QComboBox;
class QCompleter;
class QStringListModel;

// Suggests the serial devices present while the user is at a port list. The suggestions are
// looked up when the list gets the focus and again at the first keystroke after that, never by
// polling; the list's own entries stay as they are.
class PortSuggestions : public QObject {
public:
    PortSuggestions(QComboBox *list, std::function<QStringList()> devicesPresent);

    // Offers gpsd on this machine too, where a short look finds it listening at port; the look
    // comes with the device lookups, but not while mayLook() says no (a port is active).
    void offerGpsd(quint16 port, std::function<bool()> mayLook);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh(bool look = true);

    std::function<QStringList()> m_devicesPresent;
    std::function<bool()> m_mayLookForGpsd;
    GpsdLook *m_gpsdLook = nullptr;
    quint16 m_gpsdPort = 0;
    bool m_gpsdFound = false;
    QCompleter *m_completer;
    QStringListModel *m_model;
    bool m_firstKeystroke = false;
};
