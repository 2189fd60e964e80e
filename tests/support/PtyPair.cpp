#include "PtyPair.h"

#include "serial/SerialSystem.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

} // namespace

QString LineState::summary() const
{
    return QStringLiteral("%1%2%3 at %4")
        .arg(dataBits)
        .arg(QLatin1Char(parity))
        .arg(twoStopBits ? 2 : 1)
        .arg(speed);
}

PtyPair::PtyPair()
{
    if (::openpty(&m_farEnd, &m_device, nullptr, nullptr, nullptr) == -1)
        fail("openpty");
    termios raw{};
    char name[128];
    if (::tcgetattr(m_device, &raw) == -1 || ::ptsname_r(m_farEnd, name, sizeof name) != 0)
        fail("pty");
    ::cfmakeraw(&raw);
    if (::tcsetattr(m_device, TCSANOW, &raw) == -1)
        fail("tcsetattr");
    ::fcntl(m_farEnd, F_SETFL, ::fcntl(m_farEnd, F_GETFL) | O_NONBLOCK);
    // A program the test starts must not hold the far end open: closing it would hang up nothing.
    ::fcntl(m_farEnd, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_device, F_SETFD, FD_CLOEXEC);
    m_path = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    closeFarEnd();
    ::close(m_device);
}

void PtyPair::write(const QByteArray& bytes)
{
    writeAll(m_farEnd, bytes);
}

QByteArray PtyPair::read(qsizetype count, int timeoutMs)
{
    return readFor(m_farEnd, count, timeoutMs);
}

void PtyPair::closeFarEnd()
{
    if (m_farEnd >= 0)
        ::close(m_farEnd);
    m_farEnd = -1;
}

LineState PtyPair::lineState() const
{
    // Termios requests on the master side answer for the device side.
    const std::optional<SerialSystem::LineFormat> format = SerialSystem::lineFormat(m_farEnd);
    termios flow{};
    if (!format || ::tcgetattr(m_farEnd, &flow) == -1)
        fail("line settings");
    LineState state;
    state.speed = quint32(format->baud);
    state.dataBits = format->dataBits;
    state.parity = format->parity;
    state.twoStopBits = format->twoStopBits;
    state.hardwareFlow = (flow.c_cflag & CRTSCTS) != 0;
    state.softwareFlow = (flow.c_iflag & (IXON | IXOFF)) != 0;
    return state;
}

bool PtyPair::takes(int dataBits, char parity, bool twoStopBits)
{
    termios wanted{};
    if (::tcgetattr(m_device, &wanted) == -1)
        fail("tcgetattr");
    const termios raw = wanted;
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    wanted.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    wanted.c_cflag |= sizes[dataBits - 5];
    if (parity != 'N')
        wanted.c_cflag |= PARENB;
    if (parity == 'O' || parity == 'M')
        wanted.c_cflag |= PARODD;
    if (parity == 'M' || parity == 'S')
        wanted.c_cflag |= CMSPAR;
    if (twoStopBits)
        wanted.c_cflag |= CSTOPB;
    termios kept{};
    const bool taken = ::tcsetattr(m_device, TCSANOW, &wanted) == 0 &&
                       ::tcgetattr(m_device, &kept) == 0 && kept.c_cflag == wanted.c_cflag;
    ::tcsetattr(m_device, TCSANOW, &raw);
    return taken;
}

void writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written > 0) {
            done += written;
        } else if (errno == EAGAIN || errno == EINTR) {
            pollfd out{fd, POLLOUT, 0};
            ::poll(&out, 1, 1000);
        } else {
            fail("write");
        }
    }
}

QByteArray readFor(int fd, qsizetype count, int timeoutMs)
{
    QByteArray bytes;
    const QDeadlineTimer deadline(timeoutMs);
    char buffer[4096];
    while (bytes.size() < count) {
        pollfd in{fd, POLLIN, 0};
        if (::poll(&in, 1, int(deadline.remainingTime())) <= 0 || !(in.revents & POLLIN))
            break;
        const ssize_t got =
            ::read(fd, buffer, size_t(std::min<qsizetype>(sizeof buffer, count - bytes.size())));
        if (got <= 0)
            break;
        bytes.append(buffer, got);
    }
    return bytes;
}
