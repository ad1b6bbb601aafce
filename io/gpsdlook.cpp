#include "io/gpsdlook.h"

GpsdLook::GpsdLook(QObject *parent)
    : QObject(parent) {
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] { finish(false); });
    // Another service on gpsd's port is no gpsd: gpsd answers with its version, once asked.
    connect(&m_socket, &QAbstractSocket::connected, this,
            [this] { m_socket.write("?VERSION;\n"); });
    connect(&m_socket, &QIODevice::readyRead, this, [this] {
        m_greeting += m_socket.read(1024 - m_greeting.size());
        if (m_greeting.contains("\"class\":\"VERSION\""))
            finish(true);
        else if (m_greeting.size() >= 1024 || m_greeting.contains('\n'))
            finish(false);
    });
    connect(&m_socket, &QAbstractSocket::errorOccurred, this, [this] { finish(false); });
}

void GpsdLook::start(const QString &host, quint16 port, std::chrono::milliseconds within) {
    if (isLooking())
        return;
    m_greeting.clear();
    m_timeout.start(within);
    m_socket.connectToHost(host, port);
}

void GpsdLook::finish(bool gpsdListens) {
    if (!m_timeout.isActive())
        return;
    m_timeout.stop();
    m_socket.abort();
    emit answered(gpsdListens);
}
