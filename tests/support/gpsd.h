#pragma once

// A gpsd of the test's own, as the user that runs the test: in the foreground (-N), opening its
// devices at once (-n) and only reading them, never configuring a receiver (-b), which also
// spares the seconds its probing takes; on a free port of the loopback, with its control socket
// in a folder of its own; stopped by its process id. gpsd run as root gives up its rights after
// opening the devices it was started with, so a device added later must be open to all (PtyPair's
// openToAll).
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

class TestGpsd {
public:
    TestGpsd() = default;
    TestGpsd(const TestGpsd &) = delete;
    TestGpsd &operator=(const TestGpsd &) = delete;
    ~TestGpsd() { stop(); }

    // Starts gpsd with these devices, on the port it had before (after stop()) or a free one,
    // and waits until it takes connections. False, with the reason in error(), when gpsd is
    // missing or does not come up.
    bool start(const QStringList &devices = {}) {
        // As a user's, root's search path may lack the folder gpsd is installed in.
        QString program = QStandardPaths::findExecutable(QStringLiteral("gpsd"));
        if (program.isEmpty())
            program = QStandardPaths::findExecutable(
                QStringLiteral("gpsd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        if (program.isEmpty()) {
            m_error = QStringLiteral("gpsd is not installed (scripts/setup-deps.sh installs it)");
            return false;
        }
        if (m_port == 0) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0)) {
                m_error = probe.errorString();
                return false;
            }
            m_port = probe.serverPort();
        }
        m_gpsd.setProgram(program);
        m_gpsd.setArguments(QStringList{QStringLiteral("-N"), QStringLiteral("-n"),
                                        QStringLiteral("-b"), QStringLiteral("-S"),
                                        QString::number(m_port), QStringLiteral("-F"),
                                        controlSocket()} +
                            devices);
        m_gpsd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_gpsd.start();
        if (!m_gpsd.waitForStarted(5000)) {
            m_error = m_gpsd.errorString();
            return false;
        }
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && m_gpsd.state() == QProcess::Running) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(200))
                return true;
            m_gpsd.waitForFinished(50);
        }
        m_error = QStringLiteral("gpsd did not come up on port %1").arg(m_port);
        return false;
    }

    // Ends gpsd by its process id, as a service manager stops it.
    void stop() {
        if (m_gpsd.state() == QProcess::NotRunning)
            return;
        m_gpsd.terminate();
        if (!m_gpsd.waitForFinished(5000)) {
            m_gpsd.kill();
            m_gpsd.waitForFinished(5000);
        }
    }

    // Adds or removes a device through the control socket, as the hot-plug rule does; the answer
    // is not waited for (gpsd gives it once the device is read).
    bool add(const QString &device) { return control(u'+' + device); }
    bool remove(const QString &device) { return control(u'-' + device); }

    quint16 port() const { return m_port; }
    qint64 processId() const { return m_gpsd.processId(); }
    QString url() const { return QStringLiteral("gpsd://:%1").arg(m_port); }
    QString error() const { return m_error; }

private:
    QString controlSocket() const { return m_dir.filePath(QStringLiteral("control")); }
    bool control(const QString &command) {
        QLocalSocket socket;
        socket.connectToServer(controlSocket());
        if (!socket.waitForConnected(5000))
            return false;
        socket.write(command.toLocal8Bit() + '\n');
        return socket.waitForBytesWritten(5000);
    }

    QProcess m_gpsd;
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    QString m_error;
};
