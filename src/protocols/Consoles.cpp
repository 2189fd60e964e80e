#include "protocols/Consoles.h"

#include "protocols/DedicatedProtocol.h"
#include "protocols/LineSettings.h"
#include "protocols/LoaderProtocol.h"

QString consoleName(ConsoleKind kind)
{
    switch (kind) {
    case ConsoleKind::Loader:
        return QStringLiteral("loader");
    case ConsoleKind::Dedicated:
        return QStringLiteral("dedicated");
    case ConsoleKind::UserDefine:
        break;
    }
    return QStringLiteral("userdef");
}

std::optional<ConsoleKind> consoleKindFromName(QStringView name)
{
    for (const ConsoleKind kind :
         {ConsoleKind::Loader, ConsoleKind::Dedicated, ConsoleKind::UserDefine}) {
        if (name == consoleName(kind))
            return kind;
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
        return kind == ConsoleKind::Loader ? QStringLiteral("Non Response")
                                           : QStringLiteral("None");
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
    if (baudRate != kDoubtfulBaudRate || kind == ConsoleKind::Loader)
        return {};
    return kind == ConsoleKind::Dedicated ? QStringLiteral("Bout_Rate Disorder")
                                          : QStringLiteral("Bout_rate Disorder");
}

TransactionPlan consolePlan(const ConsoleRequest& request, ProgramState& state)
{
    switch (request.kind) {
    case ConsoleKind::Loader:
        return loaderPlan(request.message, state);
    case ConsoleKind::Dedicated:
        return dedicatedPlan(request.message, request.withCheck, state);
    case ConsoleKind::UserDefine:
        break;
    }
    return userDefPlan(request.selections, request.message, state);
}
