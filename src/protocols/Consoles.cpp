#include "protocols/Consoles.h"

#include "protocols/DedicatedProtocol.h"
#include "protocols/LineSettings.h"
#include "protocols/LoaderProtocol.h"

#include <algorithm>
#include <array>

namespace {

using namespace Qt::Literals::StringLiterals;

constexpr std::array kLineOptions = {"port"_L1, "baud"_L1};
constexpr std::array kDedicatedOptions = {"bcc"_L1};
constexpr std::array kUserDefOptions = {"header"_L1, "bcc1"_L1, "tail"_L1, "bcc2"_L1};

const std::array<ConsoleDescriptor, 3> kConsoles = {{
    {ConsoleKind::Loader,
     "loader"_L1,
     "Non Response"_L1,
     {},
     "port 1 at 38400 baud"_L1,
     {},
     [](const ConsoleRequest& request, ProgramState& state) {
         return loaderPlan(request.message, state);
     }},
    {ConsoleKind::Dedicated,
     "dedicated"_L1,
     "None"_L1,
     "Bout_Rate Disorder"_L1,
     {},
     kDedicatedOptions,
     [](const ConsoleRequest& request, ProgramState& state) {
         return dedicatedPlan(request.message, request.withCheck, state);
     }},
    {ConsoleKind::UserDefine,
     "userdef"_L1,
     "None"_L1,
     "Bout_rate Disorder"_L1,
     {},
     kUserDefOptions,
     [](const ConsoleRequest& request, ProgramState& state) {
         return userDefPlan(request.selections, request.message, state);
     }},
}};

} // namespace

std::span<const ConsoleDescriptor> consoles()
{
    return kConsoles;
}

const ConsoleDescriptor& console(ConsoleKind kind)
{
    return *std::ranges::find(kConsoles, kind, &ConsoleDescriptor::kind);
}

std::span<const QLatin1String> lineOptions()
{
    return kLineOptions;
}

QString consoleName(ConsoleKind kind)
{
    return console(kind).name;
}

std::optional<ConsoleKind> consoleKindFromName(QStringView name)
{
    for (const ConsoleDescriptor& described : kConsoles) {
        if (name == described.name)
            return described.kind;
    }
    return std::nullopt;
}

QString replyWord(ReplyClass replyClass, ConsoleKind kind)
{
    switch (replyClass) {
    case ReplyClass::Ack:
        return QStringLiteral("ACK");
    case ReplyClass::Nak:
        return QStringLiteral("NAK");
    case ReplyClass::None:
        return console(kind).silenceWord;
    case ReplyClass::Other:
        break;
    }
    return QStringLiteral("Error");
}

QString replyClassName(ReplyClass replyClass)
{
    switch (replyClass) {
    case ReplyClass::Ack:
        return QStringLiteral("ack");
    case ReplyClass::Nak:
        return QStringLiteral("nak");
    case ReplyClass::None:
        return QStringLiteral("none");
    case ReplyClass::Other:
        break;
    }
    return QStringLiteral("other");
}

std::optional<ReplyClass> replyClassFromName(QStringView name)
{
    for (const ReplyClass replyClass :
         {ReplyClass::Ack, ReplyClass::Nak, ReplyClass::None, ReplyClass::Other}) {
        if (name.compare(replyClassName(replyClass), Qt::CaseInsensitive) == 0)
            return replyClass;
    }
    return std::nullopt;
}

QString rateWarning(ConsoleKind kind, qint32 baudRate)
{
    if (baudRate != kDoubtfulBaudRate)
        return {};
    return console(kind).rateWarning;
}

TransactionPlan consolePlan(const ConsoleRequest& request, ProgramState& state)
{
    return console(request.kind).plan(request, state);
}
