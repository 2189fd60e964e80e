#include "platform/PortMap.h"

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

} // namespace PortMap
