#include "serial/PortMap.h"

#include <array>

namespace {

struct Mapping {
    QString thisRun;
    QString kept;
};

// Index 0 is port 1.
std::array<Mapping, 2>& mappings()
{
    static std::array<Mapping, 2> ports;
    return ports;
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
    switch (source(port)) {
    case Source::ThisRun:
        return mappings()[port - 1].thisRun;
    case Source::Kept:
        return mappings()[port - 1].kept;
    case Source::System:
        break;
    }
    return defaultDevice(port);
}

Source source(int port)
{
    if (!isKnownPort(port))
        return Source::System;
    const Mapping& mapping = mappings()[port - 1];
    if (!mapping.thisRun.isEmpty())
        return Source::ThisRun;
    return mapping.kept.isEmpty() ? Source::System : Source::Kept;
}

void setDevice(int port, const QString& path)
{
    if (isKnownPort(port))
        mappings()[port - 1].thisRun = devicePath(path);
}

void setKeptDevice(int port, const QString& path)
{
    if (isKnownPort(port))
        mappings()[port - 1].kept = devicePath(path);
}

} // namespace PortMap
