#pragma once
// The protocols layer (src/protocols): what makes each console itself (frame builder, receive
// rule, reply words, rate rule, line settings), the state the consoles share, and the record of
// an exchange. It builds on the engine, the serial layer and the codec; the windows and the
// commands reach the consoles through it.
//
// The three consoles seen from outside their windows: their names on a command line and in the
// session log, their reply words, the warning the doubtful rate draws, and one way from a
// request to the console's own plan. The windows and the commands share these, so a reply is
// named and a frame built the same way wherever the exchange is started.

#include "engine/Transaction.h"
#include "protocols/ProgramState.h"
#include "protocols/UserDefFrame.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

enum class ConsoleKind { Loader, Dedicated, UserDefine };

// "loader", "dedicated" or "userdef".
QString consoleName(ConsoleKind kind);
std::optional<ConsoleKind> consoleKindFromName(QStringView name);

// "ACK", "NAK", "Error", and for a reply of nothing "Non Response" on the Loader console and
// "None" on the others.
QString replyWord(ReplyClass replyClass, ConsoleKind kind);

// The class's name in records and plans: "ack", "nak", "none" or "other"; and back, in either
// case.
QString replyClassName(ReplyClass replyClass);
std::optional<ReplyClass> replyClassFromName(QStringView name);

// The warning after the settings of the doubtful rate (128000) are assigned: "Bout_Rate
// Disorder" on the Dedicated console, "Bout_rate Disorder" on the User Define console; empty
// for any other rate and on the Loader console, which always runs at 38400.
QString rateWarning(ConsoleKind kind, qint32 baudRate);

struct ConsoleRequest {
    ConsoleKind kind = ConsoleKind::Loader;
    QByteArray message;
    bool withCheck = false;       // the Dedicated console's "BCC Use"
    UserDefSelections selections; // the User Define console's four lists
};

// The plan the console's Send makes of the request, through its own frame builder and the
// program-wide state (PortNo, BaudRate, BccFlag, BccSource...). Throws SelectionError for a
// User Define selection text that cannot be read.
TransactionPlan consolePlan(const ConsoleRequest& request, ProgramState& state);
