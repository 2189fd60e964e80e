#pragma once
// The Dedicated exchange: ENQ, the message, EOT and, when asked for, the check of the message's
// byte sum plus 9 (ENQ and EOT); port and speed from the settings window; exactly 500 reads,
// then two more when the frame carried a check (room for the reply's own check digits).

#include "engine/Transaction.h"
#include "protocols/ProgramState.h"

#include <QByteArray>

// BccFlag := withCheck; with it, BccSource := message and BccMake runs. Returns the frame.
QByteArray dedicatedFrame(const QByteArray& message, bool withCheck, ProgramState& state);
TransactionPlan dedicatedPlan(const QByteArray& message, bool withCheck, ProgramState& state);
