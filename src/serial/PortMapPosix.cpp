#include "serial/PortMap.h"

#include "serial/NetworkPort.h"

#include <QFileInfo>

namespace PortMap {

QString defaultDevice(int port)
{
    switch (port) {
    case 1:
        return QStringLiteral("/dev/ttyS0");
    case 2:
        return QStringLiteral("/dev/ttyS1");
    default:
        return {};
    }
}

QString devicePath(const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || NetworkPort::looksLikeNetwork(name))
        return name;
    if (name.startsWith(QLatin1String("./")) || name.startsWith(QLatin1String("../")))
        return QFileInfo(name).absoluteFilePath();
    return QStringLiteral("/dev/") + name;
}

} // namespace PortMap
