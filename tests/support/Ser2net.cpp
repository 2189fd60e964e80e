#include "Ser2net.h"

#include <QFile>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString ser2netPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                           QStringLiteral("/usr/local/sbin")});
}

} // namespace

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

quint16 freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool acceptsConnections(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool taken =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return taken;
}

bool Ser2net::installed()
{
    return !ser2netPath().isEmpty();
}

Ser2net::Ser2net(const QString& rfc2217Device, const QString& rawDevice, int maxConnections,
                 const QStringList& options)
    : m_rfc2217Port(freeLoopbackPort()), m_rawPort(freeLoopbackPort())
{
    // The exporter's shape: an RFC 2217 accepter in server mode, the device at 38400 8N1 with
    // its modem lines ignored (local), and room for several clients.
    QString extra;
    for (const QString& option : options)
        extra += QStringLiteral("    %1\n").arg(option);
    const QString config =
        QStringLiteral("connection: &rfc2217\n"
                       "  accepter: telnet(rfc2217,mode=server),tcp,127.0.0.1,%1\n"
                       "  connector: serialdev,%3,38400n81,local\n"
                       "  options:\n"
                       "    max-connections: %5\n%6"
                       "connection: &raw\n"
                       "  accepter: tcp,127.0.0.1,%2\n"
                       "  connector: serialdev,%4,38400n81,local\n"
                       "  options:\n"
                       "    max-connections: %5\n%6")
            .arg(m_rfc2217Port)
            .arg(m_rawPort)
            .arg(rfc2217Device, rawDevice)
            .arg(maxConnections)
            .arg(extra);
    const QString path = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(config.toUtf8());
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // -d: in the foreground, its log on standard output; -P: a pid file of its own, not /run's.
    m_process.start(ser2netPath(), {QStringLiteral("-d"), QStringLiteral("-c"), path,
                                    QStringLiteral("-P"), m_dir.filePath(QStringLiteral("pid"))});
    m_process.waitForStarted();
}

Ser2net::~Ser2net()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

bool Ser2net::listening() const
{
    return m_process.state() == QProcess::Running && acceptsConnections(m_rfc2217Port) &&
           acceptsConnections(m_rawPort);
}

QString Ser2net::rfc2217Url() const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_rfc2217Port);
}

QString Ser2net::rawUrl() const
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(m_rawPort);
}

QString Ser2net::output()
{
    return QString::fromLocal8Bit(m_process.readAll());
}
