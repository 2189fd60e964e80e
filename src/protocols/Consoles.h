#pragma once
// The protocols layer (src/protocols): what makes each console itself (frame builder, receive
// rule, reply words, rate rule, line settings), the state the consoles share, the record of an
// exchange and the one exchange runner. It builds on the engine, the serial layer and the codec;
// the windows and the commands reach the consoles through it.
//
// The three consoles seen from outside their windows, each described once in one table: its
// name on a command line and in the session log, its reply words, the warning the doubtful rate
// draws, the options it takes, and the builder of its plan. The windows, the commands and the
// exchange runner read the consoles from this table only, so a reply is named and a frame built
// the same way wherever the exchange is started.

#include "engine/Transaction.h"
#include "protocols/ProgramState.h"
#include "protocols/UserDefFrame.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QStringView>

#include <optional>
#include <span>

enum class ConsoleKind { Loader, Dedicated, UserDefine };

struct ConsoleRequest {
    ConsoleKind kind = ConsoleKind::Loader;
    QByteArray message;
    bool withCheck = false;       // the Dedicated console's "BCC Use"
    UserDefSelections selections; // the User Define console's four lists
};

struct ConsoleDescriptor {
    ConsoleKind kind;
    QLatin1String name;        // "loader", "dedicated" or "userdef"
    QLatin1String silenceWord; // the reply word for a reply of nothing
    // The warning after the settings of the doubtful rate are assigned; empty: none.
    QLatin1String rateWarning;
    // Where a console whose line is fixed always sends ("port 1 at 38400 baud"); empty for the
    // consoles that send on the port and rate chosen in the settings window.
    QLatin1String fixedLine;
    // The options no other console takes, as a command line and a plan name them.
    std::span<const QLatin1String> ownOptions;
    // The plan of a request through the console's own frame builder and the program-wide state
    // (PortNo, BaudRate, BccFlag, BccSource...). Throws SelectionError for a User Define
    // selection text that cannot be read.
    TransactionPlan (*plan)(const ConsoleRequest& request, ProgramState& state);
};

// The three consoles, in the order Loader, Dedicated, User Define.
std::span<const ConsoleDescriptor> consoles();
const ConsoleDescriptor& console(ConsoleKind kind);

// The options that choose the line, "port" and "baud", taken by every console whose line is not
// fixed.
std::span<const QLatin1String> lineOptions();

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

// The plan the console's Send makes of the request (see ConsoleDescriptor::plan).
TransactionPlan consolePlan(const ConsoleRequest& request, ProgramState& state);
