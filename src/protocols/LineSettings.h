#pragma once
// How the Dedicated and User Define consoles turn the settings window's choices into the serial
// control's port and settings. (The Loader console always uses port 1 at "38400,n,8,1".)

#include "engine/Transaction.h"
#include "protocols/ProgramState.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// The eight rates the settings window lists.
inline constexpr std::array<qint32, 8> kBaudRates = {9600,  19200, 38400,  56000,
                                                     57600, 76800, 115200, 128000};

// Port 1 when PortNo, read as a whole number, is 1; port 2 for any other number; no value when
// PortNo is not a number (the transaction then fails with "Port Disorder").
std::optional<int> commPortFromPortNo(const QString& portNo);

// The settings text for one of the eight listed rates ("19200, n, 8, 1"); no value for any other
// rate, which leaves the control's settings as they are.
std::optional<QString> settingsForBaudRate(qint32 baudRate);

// The plan of a frame sent on the chosen port at the chosen rate: the given number of reads,
// then two more when the latest Dedicated frame carried a check (BccFlag).
TransactionPlan chosenLinePlan(const QByteArray& frame, int polls, const ProgramState& state);

// The one listed rate the consoles warn about after assigning its settings.
constexpr qint32 kDoubtfulBaudRate = 128000;
