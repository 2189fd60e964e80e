#pragma once
// rs232c monitor --device DEV --link PATH, or --listen-a DEV --listen-b DEV: watches a host and a
// device talk, one line per frame, each reply paired with its frame as an exchange record, and a
// summary on standard error at the end.

#include <QStringList>

int monitorCommand(const QStringList& arguments);
