#include "PortMapOverride.h"

#include "serial/PortMap.h"

PortMapOverride::PortMapOverride(const QString& port1, const QString& port2)
    : m_saved{PortMap::device(1), PortMap::device(2)}
{
    if (!port1.isEmpty())
        PortMap::setDevice(1, port1);
    if (!port2.isEmpty())
        PortMap::setDevice(2, port2);
}

PortMapOverride::~PortMapOverride()
{
    PortMap::setDevice(1, m_saved[0]);
    PortMap::setDevice(2, m_saved[1]);
}
