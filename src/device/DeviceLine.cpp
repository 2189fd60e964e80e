#include "device/DeviceLine.h"

#include "device/NetworkBridge.h"
#include "serial/PortCatalog.h"

#include "serial/SerialError.h"
#include "serial/SerialSystem.h"

#include <QSerialPort>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

SerialError systemFailure(const char* what)
{
    return SerialError(SerialError::Kind::Io,
                       QStringLiteral("simulated device: %1: %2")
                           .arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

DeviceLine::DeviceLine() = default;

DeviceLine::~DeviceLine()
{
    close();
}

void DeviceLine::openPty()
{
    if (::openpty(&m_handle, &m_slave, nullptr, nullptr, nullptr) == -1)
        throw systemFailure("openpty");
    char name[128];
    termios raw{};
    if (::ptsname_r(m_handle, name, sizeof name) != 0 || ::tcgetattr(m_slave, &raw) == -1) {
        const SerialError failure = systemFailure("pseudo-terminal");
        close();
        throw failure;
    }
    ::cfmakeraw(&raw);
    if (::tcsetattr(m_slave, TCSANOW, &raw) == -1) {
        const SerialError failure = systemFailure("pseudo-terminal");
        close();
        throw failure;
    }
    ::fcntl(m_handle, F_SETFL, ::fcntl(m_handle, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_handle, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_path = QString::fromLocal8Bit(name);
}

void DeviceLine::openPort(const QString& path, qint32 baud)
{
    m_path = path;
    m_port = std::make_unique<QSerialPort>(PortCatalog::deviceBehind(path));
    if (!m_port->open(QIODevice::ReadWrite)) {
        const SerialError failure = SerialError::openFailure(*m_port, path);
        m_port.reset();
        throw failure;
    }
    const bool set = m_port->setBaudRate(baud) && m_port->setDataBits(QSerialPort::Data8) &&
                     m_port->setParity(QSerialPort::NoParity) &&
                     m_port->setStopBits(QSerialPort::OneStop) &&
                     m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!set) {
        const SerialError failure(SerialError::Kind::Refused,
                                  QStringLiteral("%1: %2 baud, 8N1 refused (%3)")
                                      .arg(path)
                                      .arg(baud)
                                      .arg(m_port->errorString()));
        m_port.reset();
        throw failure;
    }
    m_port->clear(QSerialPort::Input);
    // Qt's own notifiers would only fire in an event loop, which the serving thread never runs.
    m_handle = int(m_port->handle());
}

void DeviceLine::openNetwork(std::unique_ptr<NetworkBridge> bridge)
{
    m_handle = bridge->takeDeviceEnd();
    m_path = bridge->address().url();
    m_bridge = std::move(bridge);
}

bool DeviceLine::programHasAll() const
{
    if (m_bridge)
        return m_bridge->delivered();
    if (m_port)
        return SerialSystem::outputQueued(m_handle) <= 0;
    // Bytes written to the master reach the device side's queue a moment later; a poll of the
    // device side waits for that, so the count after it misses nothing on its way.
    pollfd device{m_slave, POLLIN, 0};
    ::poll(&device, 1, 0);
    int waiting = 0;
    return ::ioctl(m_slave, FIONREAD, &waiting) == -1 || waiting == 0;
}

void DeviceLine::close()
{
    if (m_port) {
        m_port.reset();
    } else if (m_bridge) {
        ::close(m_handle);
        m_bridge.reset();
    } else {
        if (m_handle >= 0)
            ::close(m_handle);
        if (m_slave >= 0)
            ::close(m_slave);
    }
    m_handle = m_slave = -1;
}
