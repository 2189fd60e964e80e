#include "platform/PortMap.h"

#include <array>

namespace {

// Index 0 is port 1. An empty entry means the system's own device.
std::array<QString, 2>& mappedDevices()
{
    static std::array<QString, 2> devices;
    return devices;
}

bool isKnownPort(int port)
{
    return port == 1 || port == 2;
}

} // namespace

namespace PortMap {

QString device(int port)
{
    if (!isKnownPort(port))
        return {};
    const QString& mapped = mappedDevices()[port - 1];
    return mapped.isEmpty() ? defaultDevice(port) : mapped;
}

// An empty path gives the port back its system device.
void setDevice(int port, const QString& path)
{
    if (isKnownPort(port))
        mappedDevices()[port - 1] = path;
}

} // namespace PortMap
