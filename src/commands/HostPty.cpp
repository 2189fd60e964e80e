#include "commands/HostPty.h"

#include "serial/SerialSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

HostPty::~HostPty()
{
    if (m_master != -1)
        ::close(m_master);
}

QString HostPty::open()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128];
    termios raw{};
    // A pty master asked for its termios answers for the host's end.
    const bool made = m_master != -1 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0 &&
                      ::ptsname_r(m_master, name, sizeof name) == 0 &&
                      ::tcgetattr(m_master, &raw) == 0;
    if (made) {
        ::cfmakeraw(&raw);
        ::cfsetspeed(&raw, B38400);
    }
    if (!made || ::tcsetattr(m_master, TCSANOW, &raw) == -1) {
        const QString why =
            QStringLiteral("pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (m_master != -1)
            ::close(m_master);
        m_master = -1;
        return why;
    }
    m_path = QString::fromLocal8Bit(name);
    return {};
}

std::optional<QString> HostPty::settings() const
{
    const std::optional<SerialSystem::LineFormat> format = SerialSystem::lineFormat(m_master);
    if (!format)
        return std::nullopt;
    return QStringLiteral("%1,%2,%3,%4")
        .arg(format->baud)
        .arg(QChar::fromLatin1(format->parity).toLower())
        .arg(format->dataBits)
        .arg(format->twoStopBits ? 2 : 1);
}

bool HostPty::hungUp() const
{
    pollfd descriptor{m_master, POLLIN, 0};
    return ::poll(&descriptor, 1, 0) == 1 && (descriptor.revents & POLLHUP) != 0;
}
