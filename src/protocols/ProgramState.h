#pragma once
// The values that carry meaning from one window to the next, for the whole run: the settings
// window publishes BaudRate and PortNo, the Dedicated console leaves BccFlag for the User
// Define console, and every console passes its check source through BccSource/BccCode.

#include "codec/Codec.h"

#include <QString>

struct ProgramState {
    qint32 BaudRate = 0;
    QString PortNo;
    bool BccFlag = false;
    QByteArray BccSource;
    qint16 BccAdd1 = 0;
    qint16 BccAdd2 = 0;
    codec::BccCodes BccCode;

    // BccCode := the codes of BccSource with BccAdd1 and BccAdd2.
    void runBccMake();
};

// The one instance of the desktop program's run, which its start-up gives to the windows; the
// windows and the commands work on the state they are given, never on this one by name.
ProgramState& program();
