#pragma once
// The user's choice of device for com1 and com2, kept between runs in the per-user settings
// (~/.config/rs232c-tester/rs232c-tester.ini). A device is kept by its stable
// /dev/serial/by-id name where it has one, so the choice follows an adapter into another USB
// socket. A kept device that is gone stays kept and shows as missing: another device never
// takes its place silently.

#include "serial/PortCatalog.h"

#include <QString>

namespace PortChoices {

// Hands the kept choices to PortMap; the ports given for this run still come first.
void load();

// Keeps device (a path or a bare name, see PortMap::devicePath) for port (1 or 2) by its stable
// name where it has one, else by its path, and makes it the port's device from now on, also
// over a device given for this run. An empty device forgets the choice. Returns what is kept.
QString keep(int port, const QString& device,
             const QString& byIdFolder = QString::fromLatin1(PortCatalog::kByIdFolder));

} // namespace PortChoices
