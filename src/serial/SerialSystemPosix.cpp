#include "serial/SerialSystem.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The kernel's termios2, which glibc does not declare: it carries the speed as a number, so
// rates without a Bnnn constant (56000, 76800, 128000) read back as they are.
struct KernelTermios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};

constexpr unsigned long kGetTermios2 = _IOR('T', 0x2A, KernelTermios2);

} // namespace

namespace SerialSystem {

std::optional<LineFormat> lineFormat(qintptr handle)
{
    KernelTermios2 settings{};
    if (::ioctl(int(handle), kGetTermios2, &settings) == -1)
        return std::nullopt;
    LineFormat format;
    format.baud = qint32(settings.c_ospeed);
    switch (settings.c_cflag & CSIZE) {
    case CS5:
        format.dataBits = 5;
        break;
    case CS6:
        format.dataBits = 6;
        break;
    case CS7:
        format.dataBits = 7;
        break;
    default:
        format.dataBits = 8;
        break;
    }
    const bool odd = (settings.c_cflag & PARODD) != 0;
    if (!(settings.c_cflag & PARENB))
        format.parity = 'N';
    else if (settings.c_cflag & CMSPAR)
        format.parity = odd ? 'M' : 'S';
    else
        format.parity = odd ? 'O' : 'E';
    format.twoStopBits = (settings.c_cflag & CSTOPB) != 0;
    return format;
}

int outputQueued(qintptr handle)
{
    int queued = 0;
    if (::ioctl(int(handle), TIOCOUTQ, &queued) == -1)
        return -1;
    return queued;
}

bool hasNews(qintptr handle)
{
    pollfd descriptor{int(handle), POLLIN, 0};
    return ::poll(&descriptor, 1, 0) == 1 && descriptor.revents != 0;
}

qint64 writeSome(qintptr handle, const char* bytes, qint64 size)
{
    for (;;) {
        const ssize_t written = ::write(int(handle), bytes, size_t(size));
        if (written >= 0)
            return written;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

bool accessDenied(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    return ::faccessat(AT_FDCWD, name.constData(), R_OK | W_OK, AT_EACCESS) == -1 &&
           (errno == EACCES || errno == EPERM);
}

QString accessHint(const QString& path)
{
    struct stat status {};
    const group* owner = ::stat(QFile::encodeName(path).constData(), &status) == 0
                             ? ::getgrgid(status.st_gid)
                             : nullptr;
    const passwd* user = ::getpwuid(::geteuid());
    const QString userName = user ? QString::fromLocal8Bit(user->pw_name) : QStringLiteral("$USER");
    if (!owner || (status.st_mode & S_IRWXG) != (S_IRGRP | S_IWGRP) || status.st_gid == 0)
        return QStringLiteral("Ask the administrator for read and write access to %1.").arg(path);
    const QString groupName = QString::fromLocal8Bit(owner->gr_name);
    return QStringLiteral("%1 belongs to the group %2: join it with \"sudo adduser %3 %2\", "
                          "then log out and in again.")
        .arg(path, groupName, userName);
}

} // namespace SerialSystem
