#include "io/presentports.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

QStringList presentPortTexts() {
    QStringList texts;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
#ifdef Q_OS_WIN
    // The session puts "COM" before the list's text, so only the number is typed.
    for (const QSerialPortInfo &port : ports) {
        const QString name = port.portName();
        if (name.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive))
            texts << name.sliced(3);
    }
#else
    for (const QSerialPortInfo &port : ports)
        texts << port.systemLocation();
    // A stable name survives replugging into another socket, where ttyUSB0 may become ttyUSB1.
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    const QFileInfoList links =
        byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &link : links) {
        if (texts.contains(link.canonicalFilePath()))
            texts << link.absoluteFilePath();
    }
#endif
    texts.sort();
    return texts;
}
