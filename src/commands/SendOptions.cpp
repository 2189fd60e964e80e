#include "commands/SendOptions.h"

#include "codec/Codec.h"
#include "codec/WholeNumber.h"
#include "protocols/LineSettings.h"

namespace {

struct Refusal {
    QString text;
};

// A whole number from min to max; throws Refusal naming the option and the range.
int wholeNumber(const QString& option, const QString& text, int min, int max)
{
    const WholeNumber limits{min, max};
    const std::optional<qint64> number = limits.read(text);
    if (!number)
        throw Refusal{QStringLiteral("--%1: %2.").arg(option, limits.refusal(text))};
    return int(*number);
}

void check(const QString& option, const QString& problem)
{
    if (!problem.isEmpty())
        throw Refusal{QStringLiteral("--%1: %2").arg(option, problem) +
                      (problem.endsWith(QLatin1Char('.')) ? "" : ".")};
}

SendRequest read(const SendArguments& arguments)
{
    if (!arguments.console)
        throw Refusal{QStringLiteral("--console is needed: loader, dedicated or userdef.")};
    const std::optional<ConsoleKind> kind = consoleKindFromName(*arguments.console);
    if (!kind)
        throw Refusal{QStringLiteral("--console takes loader, dedicated or userdef, not '%1'.")
                          .arg(*arguments.console)};
    if (arguments.positional.size() != 1)
        throw Refusal{QStringLiteral("one MESSAGE is needed (\"\" for an empty one), not %1.")
                          .arg(arguments.positional.size())};

    SendRequest request;
    ExchangeSetup& exchange = request.exchange;
    exchange.request.kind = *kind;
    const std::pair<const char*, bool> given[] = {
        {"port", arguments.port.has_value()},
        {"baud", arguments.baud.has_value()},
        {"bcc", arguments.bcc},
        {"header", arguments.header.has_value()},
        {"bcc1", arguments.bcc1.has_value()},
        {"tail", arguments.tail.has_value()},
        {"bcc2", arguments.bcc2.has_value()},
    };
    for (const auto& [option, isGiven] : given) {
        if (isGiven)
            check(QString::fromLatin1(option),
                  ExchangeChecks::optionOnConsole(*kind, QString::fromLatin1(option)));
    }
    if (arguments.port)
        exchange.port = wholeNumber(QStringLiteral("port"), *arguments.port, 1, 2);
    if (arguments.baud) {
        exchange.baud = wholeNumber(QStringLiteral("baud"), *arguments.baud, 1, kBaudRates.back());
        check(QStringLiteral("baud"), ExchangeChecks::baud(exchange.baud));
    }
    if (arguments.device) {
        if (arguments.device->isEmpty())
            throw Refusal{QStringLiteral("--device needs a device path.")};
        exchange.device = *arguments.device;
    }
    exchange.request.withCheck = arguments.bcc;
    UserDefSelections& selections = exchange.request.selections;
    selections.header = arguments.header.value_or(selections.header);
    selections.bcc1 = arguments.bcc1.value_or(selections.bcc1);
    selections.tail = arguments.tail.value_or(selections.tail);
    selections.bcc2 = arguments.bcc2.value_or(selections.bcc2);
    QString selectionOption;
    const QString selectionProblem = ExchangeChecks::selections(selections, &selectionOption);
    check(selectionOption, selectionProblem);
    try {
        exchange.request.message =
            ExchangeChecks::message(arguments.positional.constFirst(), arguments.hex);
    } catch (const codec::CodecError& error) {
        throw Refusal{QStringLiteral("MESSAGE: %1").arg(error.message())};
    }
    if (arguments.repeat)
        request.repeat =
            wholeNumber(QStringLiteral("repeat"), *arguments.repeat, 1, ExchangeChecks::kMaxRepeat);
    if (arguments.interval)
        request.intervalMs = wholeNumber(QStringLiteral("interval"), *arguments.interval, 0,
                                         ExchangeChecks::kMaxIntervalMs);
    return request;
}

} // namespace

std::variant<SendRequest, QString> readSendArguments(const SendArguments& arguments)
{
    try {
        return read(arguments);
    } catch (const Refusal& refusal) {
        return refusal.text;
    }
}
