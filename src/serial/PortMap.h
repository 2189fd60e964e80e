#pragma once
// Which device each port number of the consoles means. A port stands for the device given for
// this run (--com1, --com2, demo mode), else the device the user chose and the program keeps
// between runs (PortChoices), else the system's own first or second serial device. Every device
// is held by the path that opens it, so what is shown and logged is what is opened.

#include <QString>

namespace PortMap {

enum class Source { ThisRun, Kept, System };

// The device of port n (1 or 2); empty for any other n.
QString device(int port);
// Where device(port) comes from.
Source source(int port);
// The device for this run only, by its path (see devicePath); an empty path gives the port back
// to the kept choice or the system's device.
void setDevice(int port, const QString& path);
// The device kept between runs, by its path; an empty path: none kept.
void setKeptDevice(int port, const QString& path);
// The system's own name of port n, without any mapping (for example /dev/ttyS0 for port 1).
QString defaultDevice(int port);
// The path a device name opens, as Qt Serial Port reads a port name: a bare name (ttyUSB0,
// pts/3) is a device under /dev, a relative path (./ttyDEVICE) is made absolute, and an
// absolute path is itself. A network name (rfc2217://HOST:PORT) and empty stay as they are.
QString devicePath(const QString& name);

} // namespace PortMap
