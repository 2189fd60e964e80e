#pragma once
// Which device each port number of the consoles means. Ports 1 and 2 map to the system's first
// two serial devices unless the command line (--com1, --com2) or demo mode says otherwise.

#include <QString>

namespace PortMap {

// The device of port n (1 or 2); empty for any other n.
QString device(int port);
void setDevice(int port, const QString& path);
// The system's own name of port n, without any mapping (for example /dev/ttyS0 for port 1).
QString defaultDevice(int port);

} // namespace PortMap
