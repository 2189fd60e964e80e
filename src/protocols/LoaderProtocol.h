#pragma once
// The Loader exchange: STX, the message, the two-digit check of the message's byte sum, ETX,
// always on port 1 at 38400 baud; the reply is read until EOT, at most 501 reads.

#include "engine/Transaction.h"
#include "protocols/ProgramState.h"

#include <QByteArray>

// Sets BccSource to the message, runs BccMake and returns the frame.
QByteArray loaderFrame(const QByteArray& message, ProgramState& state);
TransactionPlan loaderPlan(const QByteArray& message, ProgramState& state);
