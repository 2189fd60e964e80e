// rs232c send's options, as its command line gives them: each line of the input (UTF-8) is one
// option, "name=value" for one with a value, a bare name for --bcc and --hex, anything else a
// positional MESSAGE. Every request it reads is one the console can send: the console's own
// frame builder takes it without a refusal, on a port and at a rate of the settings lists.

#include "FuzzSupport.h"
#include "commands/SendOptions.h"

#include <QStringList>

using fuzz::require;

namespace {

SendArguments argumentsOf(const QStringList& lines)
{
    SendArguments arguments;
    std::optional<QString>* const valued[] = {
        &arguments.console, &arguments.port,    &arguments.device, &arguments.baud,
        &arguments.header,  &arguments.bcc1,    &arguments.tail,   &arguments.bcc2,
        &arguments.repeat,  &arguments.interval};
    const QStringList names = {"console", "port", "device", "baud",   "header",
                               "bcc1",    "tail", "bcc2",   "repeat", "interval"};
    for (const QString& line : lines) {
        const QString name = line.section(u'=', 0, 0);
        if (line.contains(u'=') && names.contains(name))
            *valued[names.indexOf(name)] = line.section(u'=', 1);
        else if (line == QLatin1String("bcc"))
            arguments.bcc = true;
        else if (line == QLatin1String("hex"))
            arguments.hex = true;
        else
            arguments.positional << line;
    }
    return arguments;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const SendArguments arguments = argumentsOf(fuzz::utf8Text(data, size).split(u'\n'));
    const auto read = readSendArguments(arguments);
    if (const QString* refusal = std::get_if<QString>(&read)) {
        require(!refusal->isEmpty(), "a refusal says why");
        return 0;
    }
    const SendRequest& request = std::get<SendRequest>(read);
    require(request.repeat >= 1 && request.intervalMs >= 0, "a repeat and an interval that run");
    require(request.repeat <= ExchangeChecks::kMaxRepeat &&
                request.intervalMs <= ExchangeChecks::kMaxIntervalMs,
            "the limits of a plan's step");
    require(request.exchange.usedPort() == 1 || request.exchange.usedPort() == 2, "port 1 or 2");
    ProgramState state;
    request.exchange.apply(state);
    try {
        const TransactionPlan plan = consolePlan(request.exchange.request, state);
        require(plan.commPort.has_value(), "a port the serial control takes");
        require(plan.settings.has_value(), "a rate of the settings list");
    } catch (const SelectionError&) {
        require(false, "a request that was read builds its frame");
    }
    return 0;
}
