#include "commands/SendCommand.h"

#include "commands/CommandParser.h"
#include "commands/ExchangeSession.h"
#include "commands/ExitStatus.h"
#include "commands/Output.h"
#include "commands/SendOptions.h"
#include "device/DemoDevices.h"

namespace {

const char kEpilogue[] =
    "MESSAGE is the text of the console's Send Data box as characters (control pictures such as\n"
    "\xE2\x90\x82 stand for their bytes), or hex digits with --hex. Put -- before a MESSAGE\n"
    "that starts with a dash.\n\n"
    "Exit status: 0 ACK, 1 NAK, 2 no reply, 3 any other reply, 4 the port failed (why on\n"
    "standard error), 64 a refused command line, 73 a log that cannot be opened (a named pipe\n"
    "that nobody reads included), 74 a log line or standard output that cannot be written,\n"
    "129, 130 and 143 after SIGHUP, SIGINT and SIGTERM. With --repeat: 0 when every reply was\n"
    "ACK, else the status of the first that was not. When standard output is closed or full,\n"
    "send stops after the exchange in progress (logged as usual) and ends with 74.\n\n"
    "Example: rs232c send --demo --console loader ABC";

constexpr CommandParser::Option kOptions[] = {
    {"console", "The console: loader, dedicated or userdef.", "name"},
    {"port", "Port 1 or 2 (dedicated, userdef; default 1). The loader always uses port 1.", "n"},
    {"device",
     "The device of the port used, instead of the port map's; a network port as "
     "rfc2217://HOST:PORT or tcp://HOST:PORT.",
     "path"},
    {"baud",
     "The rate (dedicated, userdef): 9600, 19200, 38400 (default), 56000, 57600, 76800, "
     "115200 or 128000.",
     "rate"},
    {"bcc", "The dedicated console's BCC Use: the frame carries its check digits.", nullptr},
    {"header", "The userdef Header: ENQ(05) (default), STX(02), ACK(06), NAK(21), NUL(00), NONE.",
     "text"},
    {"bcc1", "The userdef BCC1: SUM_1, SUM_2 or NONE (default).", "text"},
    {"tail", "The userdef Tail: ETX(03), EOT(04) (default), NUL(00) or NONE.", "text"},
    {"bcc2", "The userdef BCC2: SUM_1 (default), SUM_2 or NONE.", "text"},
    {"hex", "MESSAGE is hex digits, as the hex view reads them.", nullptr},
    {"repeat", "Exchanges to run, 1 to 1000000 (default 1).", "n"},
    {"interval", "Milliseconds between exchanges, 0 to 3600000 (default 0).", "ms"},
};

std::optional<QString> valueOf(const CommandParser& parser, const char* name)
{
    const QString option = QString::fromLatin1(name);
    if (!parser.isSet(option))
        return std::nullopt;
    return parser.value(option);
}

SendArguments argumentsOf(const CommandParser& parser)
{
    SendArguments arguments;
    arguments.positional = parser.positionalArguments();
    arguments.console = valueOf(parser, "console");
    arguments.port = valueOf(parser, "port");
    arguments.device = valueOf(parser, "device");
    arguments.baud = valueOf(parser, "baud");
    arguments.header = valueOf(parser, "header");
    arguments.bcc1 = valueOf(parser, "bcc1");
    arguments.tail = valueOf(parser, "tail");
    arguments.bcc2 = valueOf(parser, "bcc2");
    arguments.repeat = valueOf(parser, "repeat");
    arguments.interval = valueOf(parser, "interval");
    arguments.bcc = parser.isSet(QStringLiteral("bcc"));
    arguments.hex = parser.isSet(QStringLiteral("hex"));
    return arguments;
}

// Frame and reply in hex and characters, the word, the reply check of a reply that is a frame
// of the console's form, and the timing, for a person at a terminal:
//   02414243433603 ␂ABCC6␃ -> 0604 ␆␄  ACK  latency 0.312 ms  window 0.401 ms
QString textLine(const ExchangeRecord& record)
{
    const QString reply =
        record.reply.isEmpty()
            ? QStringLiteral("(nothing)")
            : Output::hexDigits(record.reply) + QLatin1Char(' ') + Output::characters(record.reply);
    const ReplyCheck check = record.replyCheck();
    const QString word =
        check == ReplyCheck::None
            ? record.word()
            : QStringLiteral("%1  reply check %2").arg(record.word(), replyCheckName(check));
    return QStringLiteral("%1 %2 -> %3  %4  latency %5  window %6")
        .arg(Output::hexDigits(record.frame), Output::characters(record.frame), reply, word,
             record.latency ? millisecondsText(*record.latency) : QStringLiteral("-"),
             millisecondsText(record.window));
}

// The status of an exchange that ended by itself.
int statusOf(const ExchangeRecord& record)
{
    if (record.outcome == ExchangeRecord::Outcome::PortFailure)
        return ExitStatus::kPortFailure;
    switch (record.replyClass()) {
    case ReplyClass::Ack:
        return ExitStatus::kAck;
    case ReplyClass::Nak:
        return ExitStatus::kNak;
    case ReplyClass::None:
        return ExitStatus::kNoReply;
    case ReplyClass::Other:
        break;
    }
    return ExitStatus::kOtherReply;
}

} // namespace

int sendCommand(const QStringList& arguments)
{
    CommandParser parser(QStringLiteral("send"),
                         QStringLiteral("Sends MESSAGE framed as the console's Send frames it, "
                                        "collects the reply by the console's rule and prints one "
                                        "line per exchange."),
                         QStringLiteral("MESSAGE"), QString::fromUtf8(kEpilogue));
    parser.addOptions(kOptions);
    ProgramState state;
    ExchangeSession session(parser, state);
    if (const std::optional<int> status = parser.parse(arguments))
        return *status;
    const auto read = readSendArguments(argumentsOf(parser));
    if (const QString* refusal = std::get_if<QString>(&read))
        return parser.refuse(*refusal);
    const SendRequest& request = std::get<SendRequest>(read);
    if (DemoDevices::requested(parser) && !request.exchange.device.isEmpty())
        return parser.refuse(QStringLiteral("--demo maps both ports to simulated devices; leave "
                                            "out --device."));
    if (const std::optional<int> status = session.start())
        return *status;

    int status = ExitStatus::kAck;
    for (int count = 0; count < request.repeat; ++count) {
        if (count > 0 && !session.pause(request.intervalMs))
            break;
        const ExchangeRecord record = session.exchange(request.exchange);
        if (session.json())
            Output::json(record.toJson());
        else
            Output::line(textLine(record));
        if (record.outcome == ExchangeRecord::Outcome::PortFailure)
            Output::error(QStringLiteral("%1: %2").arg(record.word(), record.error));
        if (!session.logError().isEmpty()) {
            Output::error(QStringLiteral("the log cannot be written: %1").arg(session.logError()));
            return ExitStatus::kIoError;
        }
        if (record.outcome == ExchangeRecord::Outcome::Interrupted || !Output::failure().isEmpty())
            break;
        if (status == ExitStatus::kAck)
            status = statusOf(record);
        // The next exchange would find the port as this one left it.
        if (record.outcome == ExchangeRecord::Outcome::PortFailure)
            break;
    }
    if (session.caughtSignal() != 0)
        return ExitStatus::signalled(session.caughtSignal());
    return status;
}
