#pragma once

// Two connected pseudo-terminals made by socat: what is written to one end can be read at the
// other. Killing socat is what unplugging a USB receiver looks like to the program.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>

class PtyPair {
public:
    PtyPair() = default;
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;
    ~PtyPair() { stop(); }

    // Starts socat and waits until both ends exist. False (with the reason in error()) when
    // socat is missing or does not come up. A link path names that end under a fixed name, as
    // a USB adapter keeps its device name when it is plugged in again; socat replaces a link
    // left behind.
    // openToAll makes the second end readable and writable by every user, for a reader that
    // gives up its rights (gpsd started as root).
    bool start(const QString &firstLink = {}, const QString &secondLink = {},
               bool openToAll = false) {
        const auto end = [](const QString &link) {
            return link.isEmpty() ? QStringLiteral("pty,raw,echo=0")
                                  : QStringLiteral("pty,raw,echo=0,link=") + link;
        };
        m_socat.setProgram(QStringLiteral("socat"));
        m_socat.setArguments(
            {QStringLiteral("-d"), QStringLiteral("-d"), end(firstLink),
             end(secondLink) + (openToAll ? QStringLiteral(",mode=666") : QString())});
        m_socat.setReadChannel(QProcess::StandardError); // where socat's -d -d lines go
        m_socat.start();
        if (!m_socat.waitForStarted(5000)) {
            m_error = m_socat.errorString();
            return false;
        }
        static const QRegularExpression ptyLine(QStringLiteral("PTY is (\\S+)"));
        QString log;
        while (!log.contains(QStringLiteral("starting data transfer loop"))) {
            if (!m_socat.waitForReadyRead(5000)) {
                m_error = QStringLiteral("socat did not come up: ") + log;
                return false;
            }
            log += QString::fromLocal8Bit(m_socat.readAllStandardError());
        }
        int k = 0;
        for (const QRegularExpressionMatch &match : ptyLine.globalMatch(log)) {
            if (k < 2)
                m_ends[k++] = match.captured(1);
        }
        if (k != 2) {
            m_error = QStringLiteral("no two pseudo-terminals in: ") + log;
            return false;
        }
        // socat gives up a pair as soon as the last user of either end closes it. Holding both
        // ends open lets the program under test close and open its end again, as with a real
        // line.
        for (int i = 0; i < 2; ++i)
            m_keepers[i] = ::open(qPrintable(m_ends[i]), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return true;
    }

    // Ends socat at once, like pulling the plug.
    void stop() {
        for (int &fd : m_keepers) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
        if (m_socat.state() != QProcess::NotRunning) {
            m_socat.kill();
            m_socat.waitForFinished(5000);
        }
    }

    // The line settings the kernel holds for an end (0 first, 1 second), as the last opener set
    // them.
    termios kernelLineSettings(int end) const {
        termios settings{};
        ::tcgetattr(m_keepers[end], &settings);
        return settings;
    }

    QString first() const { return m_ends[0]; }
    QString second() const { return m_ends[1]; }
    QString error() const { return m_error; }

private:
    QProcess m_socat;
    std::array<QString, 2> m_ends;
    std::array<int, 2> m_keepers{-1, -1};
    QString m_error;
};

// A text with the devices of the input and output pairs in place of {input} and {output} (the
// program's ends) and {receiver} and {consumer} (the far ends), as failure tables name them.
inline QString withDevices(QString text, const PtyPair &input, const PtyPair &output) {
    return text.replace(QStringLiteral("{input}"), input.second())
        .replace(QStringLiteral("{output}"), output.first())
        .replace(QStringLiteral("{receiver}"), input.first())
        .replace(QStringLiteral("{consumer}"), output.second());
}

// The test's own end of a pair, standing for the receiver or the consuming program: raw, never
// blocking, and everything it reads is kept.
class FarEnd {
public:
    explicit FarEnd(const QString &device) {
        m_port.setPortName(device);
        if (m_port.open(QIODevice::ReadWrite))
            QObject::connect(&m_port, &QSerialPort::readyRead,
                             [this] { m_received += m_port.readAll(); });
    }
    bool isOpen() const { return m_port.isOpen(); }
    void write(const QByteArray &bytes) { m_port.write(bytes); }
    qint64 bytesToWrite() const { return m_port.bytesToWrite(); }

    QByteArray received() const { return m_received; }
    void clear() { m_received.clear(); }

private:
    QSerialPort m_port;
    QByteArray m_received;
};

// An end of a pair used without any event loop, for tests that keep their own thread busy while
// the program's I/O thread works: writes go straight to the terminal, reads wait in poll().
class RawEnd {
public:
    explicit RawEnd(const QString &device)
        : m_fd(::open(qPrintable(device), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios line{};
        ::tcgetattr(m_fd, &line);
        ::cfmakeraw(&line);
        ::tcsetattr(m_fd, TCSANOW, &line);
    }
    ~RawEnd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RawEnd(const RawEnd &) = delete;
    RawEnd &operator=(const RawEnd &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Small writes only: a pseudo-terminal takes a few kilobytes at once.
    bool write(const QByteArray &bytes) {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Reads until size bytes have come or the deadline has passed; what came, either way.
    QByteArray read(qsizetype size, QDeadlineTimer deadline) {
        QByteArray got;
        while (got.size() < size && !deadline.hasExpired()) {
            pollfd ready{m_fd, POLLIN, 0};
            if (::poll(&ready, 1, int(deadline.remainingTime())) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n =
                ::read(m_fd, buffer, size_t(qMin<qsizetype>(sizeof buffer, size - got.size())));
            if (n > 0)
                got.append(buffer, n);
        }
        return got;
    }

private:
    int m_fd;
};
