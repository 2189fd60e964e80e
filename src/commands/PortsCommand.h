#pragma once
// rs232c ports [--json]: the serial ports of the machine, one a line.

#include <QStringList>

int portsCommand(const QStringList& arguments);
