#pragma once
// rs232c simulate: the simulated device as a command, on a pty (whose path is the first line of
// standard output), on a real serial port or over the network (as a server of one client at a
// time, or as the client of a port a server exports), with answer rules and faults, printing one
// line per frame until SIGHUP, SIGINT or SIGTERM, or until its faults make it vanish.

#include <QStringList>

int simulateCommand(const QStringList& arguments);
