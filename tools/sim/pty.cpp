#include "pty.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemError(const QString &what) {
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

void makeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd, TCSANOW, &settings);
}

} // namespace

SerialLine::~SerialLine() {
    if (m_keeperFd >= 0)
        close(m_keeperFd);
    if (m_fd >= 0)
        close(m_fd);
}

bool SerialLine::openPseudoTerminal(QString *error) {
    m_fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0) {
        *error = systemError(QStringLiteral("cannot open a pseudo-terminal"));
        return false;
    }
    char name[128];
    if (grantpt(m_fd) != 0 || unlockpt(m_fd) != 0 || ptsname_r(m_fd, name, sizeof name) != 0) {
        *error = systemError(QStringLiteral("cannot unlock the pseudo-terminal"));
        return false;
    }
    m_keeperFd = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_keeperFd < 0) {
        *error = systemError(QStringLiteral("cannot open ") + QString::fromLocal8Bit(name));
        return false;
    }
    makeRaw(m_keeperFd);
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_readerPath = QString::fromLocal8Bit(name);
    return true;
}

bool SerialLine::openDevice(const QString &path, const std::function<bool()> &waitBeforeRetry,
                            QString *error) {
    const QByteArray name = QFile::encodeName(path);
    for (;;) {
        m_fd = open(name.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (m_fd >= 0)
            break;
        // A FIFO refuses a non-blocking writer until someone reads it.
        if (errno != ENXIO || !waitBeforeRetry()) {
            *error = systemError(QStringLiteral("cannot open ") + path);
            return false;
        }
    }
    if (isatty(m_fd))
        makeRaw(m_fd);
    m_readerPath = path;
    return true;
}

int SerialLine::unreadBytes() const {
    int count = 0;
    if (m_keeperFd < 0 || ioctl(m_keeperFd, FIONREAD, &count) != 0)
        return -1;
    return count;
}

void SerialLine::discardUnread() {
    if (m_keeperFd >= 0)
        tcflush(m_keeperFd, TCIFLUSH);
}

bool makeLink(const QString &link, const QString &target, QString *error) {
    const QByteArray linkName = QFile::encodeName(link);
    struct stat status {};
    if (lstat(linkName.constData(), &status) == 0) {
        if (!S_ISLNK(status.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a symbolic link").arg(link);
            return false;
        }
        unlink(linkName.constData());
    }
    if (symlink(QFile::encodeName(target).constData(), linkName.constData()) != 0) {
        *error = systemError(QStringLiteral("cannot make the link ") + link);
        return false;
    }
    return true;
}

void removeLink(const QString &link, const QString &target) {
    if (QFile::symLinkTarget(link) == target)
        unlink(QFile::encodeName(link).constData());
}
