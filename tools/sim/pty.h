#pragma once

#include <QString>

#include <functional>

// The end of a serial line the simulator writes to: the master side of its own pseudo-terminal,
// or a device (pty, tty, FIFO, file) someone else made. The descriptor is non-blocking.
class SerialLine {
public:
    SerialLine() = default;
    SerialLine(const SerialLine &) = delete;
    SerialLine &operator=(const SerialLine &) = delete;
    ~SerialLine();

    // A new pseudo-terminal whose slave side is raw (no echo, no CR/LF translation).
    bool openPseudoTerminal(QString *error);
    // An existing path; a FIFO without a reader is retried while waitBeforeRetry() returns true.
    bool openDevice(const QString &path, const std::function<bool()> &waitBeforeRetry,
                    QString *error);

    int fd() const { return m_fd; }
    // The path a reader should open.
    QString readerPath() const { return m_readerPath; }
    bool isPseudoTerminal() const { return m_keeperFd >= 0; }

    // Bytes written but not yet read by anyone; -1 when that cannot be known (devices).
    int unreadBytes() const;
    // Throws away what no reader has taken, as a line nobody listens to loses its bytes.
    void discardUnread();

private:
    int m_fd = -1;
    // Our own descriptor on the slave side keeps the pair alive (and raw) between readers.
    int m_keeperFd = -1;
    QString m_readerPath;
};

// A symbolic link to the reader's path; replaces only an old symbolic link, never a file.
bool makeLink(const QString &link, const QString &target, QString *error);
// Removes the link if it still points where we made it point.
void removeLink(const QString &link, const QString &target);
