#pragma once
// rs232c send --console loader|dedicated|userdef [options] MESSAGE: one exchange (or --repeat N)
// as the console's Send makes it, one line of output each, the exit status of the reply's class.

#include <QStringList>

int sendCommand(const QStringList& arguments);
