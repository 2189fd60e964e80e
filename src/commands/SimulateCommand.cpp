#include "commands/SimulateCommand.h"

#include "codec/WholeNumber.h"
#include "commands/CommandParser.h"
#include "commands/DeviceLink.h"
#include "commands/ExitStatus.h"
#include "commands/Output.h"
#include "commands/SignalWatcher.h"
#include "device/AnswerRules.h"
#include "device/NetworkBridge.h"
#include "device/SimulatedDevice.h"
#include "plans/InputFile.h"
#include "serial/NetworkPort.h"
#include "serial/SerialError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include <arpa/inet.h>
#include <limits>
#include <memory>
#include <optional>
#include <random>

namespace {

using Event = SimulatedDevice::Event;

constexpr int kMaxCount = std::numeric_limits<int>::max();

const char* const kEpilogue = R"(
Faults (combinable):
  --drop-every 3     no answer to every third frame
  --garbage 4        four random bytes before each reply
  --split 20         each reply one byte at a time, 20 ms apart
  --wrong-check      replies that carry check digits get wrong ones
  --noise 500        one to four random bytes, unasked, every 500 ms
  --vanish-after 5   after answering the fifth frame the device goes away as an
                     unplugged adapter does (a network client is disconnected), and
                     simulate ends
  --seed 42          the same random bytes as every run with seed 42

Without --device the first line of output is the path of the device's pty; with
--listen, the URL a client gives (rfc2217://127.0.0.1:PORT, or tcp://...), with the
port actually listened on when PORT is 0. Over the network one client is served
at a time: another one is told so and closed. Clients that come, go or are
refused are told on standard error. --device also takes a port a server exports:
rfc2217://HOST:PORT or tcp://HOST:PORT (socket://HOST:PORT as pyserial spells it).

Exit statuses:
  0   ended by SIGHUP, SIGINT or SIGTERM, or vanished as --vanish-after asked
  4   the port could not be opened (or listened on, or connected to), or failed
      while serving
  64  a refused command line
  65  a refused rules file
  66  a rules file that cannot be read (one that is no regular file, or larger
      than %1 MiB, included)
  73  a link that cannot be made
  74  standard output could not be written at some time

When standard output is closed (a pipe whose reader ended, as in simulate | head -1)
or full, simulate says so once on standard error and goes on serving without
printing; when it ends, it ends with 74. A second signal, or a first that
simulate cannot act on within 5 s (its output blocked by a reader that stopped
reading), ends it at once with 128 + the signal. The --link is removed on every
way out but SIGKILL.)";

struct Setup {
    SimulatedDevice::Behaviour behaviour;
    DeviceFaults::Settings faults;
    QString rulesFile;
    QString link;
    QString portPath;
    std::optional<NetworkPort::Address> network; // --device names a port a server exports
    std::optional<NetworkPort::Address> listen;  // --listen with --bind's address
    qint32 baud = 0;
    bool json = false;
};

QString localTime(qint64 msecsSinceEpoch)
{
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch);
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

// A whole number from min to max, or a refusal naming the option.
std::optional<int> number(const CommandParser& parser, const QString& option, qint64 min,
                          qint64 max, QString* refusal)
{
    const WholeNumber limits{min, max};
    const QString text = parser.value(option);
    const std::optional<qint64> value = limits.read(text);
    if (!value) {
        *refusal = QStringLiteral("--%1: %2").arg(option, limits.refusal(text));
        return std::nullopt;
    }
    return int(*value);
}

// Reads --listen rfc2217:PORT or tcp:PORT and --bind ADDRESS; the refusal when it cannot.
QString readListen(const CommandParser& parser, Setup* setup)
{
    const QString text = parser.value(QStringLiteral("listen"));
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    const QString scheme = text.left(colon);
    NetworkPort::Address address;
    if (scheme == QLatin1String("rfc2217"))
        address.kind = NetworkPort::Kind::Rfc2217;
    else if (scheme == QLatin1String("tcp"))
        address.kind = NetworkPort::Kind::RawTcp;
    else
        return QStringLiteral("--listen: rfc2217:PORT or tcp:PORT expected, not \"%1\"").arg(text);
    const WholeNumber ports{0, std::numeric_limits<quint16>::max()};
    const std::optional<qint64> port = colon < 0 ? std::nullopt : ports.read(text.mid(colon + 1));
    if (!port)
        return QStringLiteral("--listen: a port from 0 (any free one) to 65535 expected after "
                              "\"%1:\", not \"%2\"")
            .arg(scheme, text.mid(colon + 1));
    address.port = quint16(*port);
    address.host = QStringLiteral("127.0.0.1");
    if (parser.isSet(QStringLiteral("bind"))) {
        QString host = parser.value(QStringLiteral("bind"));
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        unsigned char bytes[16];
        const QByteArray literal = host.toLatin1();
        if (::inet_pton(AF_INET, literal.constData(), bytes) != 1 &&
            ::inet_pton(AF_INET6, literal.constData(), bytes) != 1)
            return QStringLiteral("--bind: an IPv4 or IPv6 address expected, not \"%1\"")
                .arg(parser.value(QStringLiteral("bind")));
        address.host = host;
    }
    setup->listen = address;
    return {};
}

// Reads the command line into setup; the refusal when it cannot.
QString readSetup(const CommandParser& parser, Setup* setup)
{
    QString refusal;
    const auto numberOf = [&](const char* option, int min, int max, int* into) {
        const QString name = QLatin1String(option);
        if (!refusal.isEmpty() || !parser.isSet(name))
            return;
        if (const std::optional<int> value = number(parser, name, min, max, &refusal))
            *into = *value;
    };
    if (parser.isSet(QStringLiteral("reply")) &&
        !SimulatedDevice::parseMode(parser.value(QStringLiteral("reply")), &setup->behaviour))
        return QStringLiteral("--reply: protocol, ack, nak, silent or hex:DIGITS expected, not "
                              "\"%1\"")
            .arg(parser.value(QStringLiteral("reply")));
    if (parser.isSet(QStringLiteral("console"))) {
        const std::optional<DeviceFrames::Consoles> consoles =
            DeviceFrames::consolesFromName(parser.value(QStringLiteral("console")));
        if (!consoles)
            return QStringLiteral("--console: loader, dedicated or any expected, not \"%1\"")
                .arg(parser.value(QStringLiteral("console")));
        setup->behaviour.consoles = *consoles;
    }
    numberOf("delay", 0, AnswerRules::kMaxDelayMs, &setup->behaviour.delayMs);
    numberOf("drop-every", 1, kMaxCount, &setup->faults.dropEvery);
    numberOf("garbage", 1, 4096, &setup->faults.garbage);
    numberOf("split", 1, AnswerRules::kMaxDelayMs, &setup->faults.splitMs);
    numberOf("noise", 1, AnswerRules::kMaxDelayMs, &setup->faults.noiseMs);
    numberOf("vanish-after", 1, kMaxCount, &setup->faults.vanishAfter);
    numberOf("baud", 1, kMaxCount, &setup->baud);
    if (!refusal.isEmpty())
        return refusal;
    setup->faults.wrongCheck = parser.isSet(QStringLiteral("wrong-check"));
    if (parser.isSet(QStringLiteral("seed"))) {
        const WholeNumber limits{0, std::numeric_limits<quint32>::max()};
        const QString text = parser.value(QStringLiteral("seed"));
        const std::optional<qint64> seed = limits.read(text);
        if (!seed)
            return QStringLiteral("--seed: ") + limits.refusal(text);
        setup->faults.seed = quint32(*seed);
    } else {
        setup->faults.seed = std::random_device()();
    }
    setup->rulesFile = parser.value(QStringLiteral("rules"));
    setup->link = parser.value(QStringLiteral("link"));
    setup->portPath = parser.value(QStringLiteral("device"));
    setup->json = parser.isSet(QStringLiteral("json"));
    QString networkRefusal;
    setup->network = NetworkPort::parse(setup->portPath, &networkRefusal);
    if (!networkRefusal.isEmpty())
        return QStringLiteral("--device: ") + networkRefusal;
    if (parser.isSet(QStringLiteral("listen"))) {
        if (!setup->portPath.isEmpty() || !setup->link.isEmpty())
            return QStringLiteral("--listen serves over the network: it does not go with "
                                  "--device or --link");
        if (const QString why = readListen(parser, setup); !why.isEmpty())
            return why;
    } else if (parser.isSet(QStringLiteral("bind"))) {
        return QStringLiteral("--bind names the address --listen listens on");
    }
    if (setup->network) {
        if (setup->baud != 0)
            return QStringLiteral("--baud does not go with a network --device: its server "
                                  "sets the rate");
    } else if (setup->portPath.isEmpty() != (setup->baud == 0)) {
        return QStringLiteral("--device and --baud go together");
    }
    if (!setup->portPath.isEmpty() && !setup->link.isEmpty())
        return QStringLiteral("--link names a pty: it does not go with --device");
    return {};
}

constexpr CommandParser::Option kOptions[] = {
    {"console",
     "The frames the protocol answer checks: loader, dedicated or any "
     "(default); any other frame gets NAK.",
     "loader|dedicated|any"},
    {"reply",
     "protocol (default: ACK or NAK by the frame's check), ack, nak, silent or hex:DIGITS.",
     "mode"},
    {"delay", "Waits this long before every reply.", "ms"},
    {"rules", "Answer rules in JSON, tried in order before the --reply answer.", "file"},
    {"link", "Also makes this symbolic link to the pty (removed on exit).", "path"},
    {"device",
     "Answers on this real serial port instead of a pty, or on a port a server exports "
     "(rfc2217://HOST:PORT, tcp://HOST:PORT).",
     "path|url"},
    {"baud", "The real port's rate (8N1); not for a network port.", "rate"},
    {"listen",
     "Serves the device over the network as a port server does, RFC 2217 or raw TCP, one "
     "client at a time; PORT 0 takes any free port. Anyone who can reach the address can "
     "talk to the device.",
     "rfc2217:PORT|tcp:PORT"},
    {"bind", "The address --listen listens on (default 127.0.0.1; IPv4 or IPv6).", "address"},
    {"drop-every", "No answer to every Nth frame.", "N"},
    {"garbage", "N random bytes before each reply.", "N"},
    {"split", "Sends each reply one byte at a time, MS apart.", "ms"},
    {"noise", "Sends one to four random bytes, unasked, every MS.", "ms"},
    {"vanish-after", "Goes away as an unplugged adapter does after answering N frames.", "N"},
    {"seed", "Repeats the random bytes of an earlier run (printed at the start).", "S"},
    {"wrong-check", "Replies that carry check digits get wrong ones.", nullptr},
    {"json", "One JSON object a line.", nullptr},
};

QJsonValue orNull(const QString& text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

void printStart(const Setup& setup, const QString& device)
{
    const QString time = localTime(QDateTime::currentMSecsSinceEpoch());
    if (setup.json) {
        Output::json(
            {{QStringLiteral("event"), QStringLiteral("start")},
             {QStringLiteral("time"), time},
             {QStringLiteral("device"), device},
             {QStringLiteral("link"), orNull(setup.link)},
             {QStringLiteral("baud"), setup.baud > 0 ? QJsonValue(setup.baud) : QJsonValue()},
             {QStringLiteral("seed"), qint64(setup.faults.seed)}});
        return;
    }
    QString text = QStringLiteral("%1 start device %2").arg(time, device);
    if (setup.baud > 0)
        text += QStringLiteral(" at %1 baud").arg(setup.baud);
    if (!setup.link.isEmpty())
        text += QStringLiteral(" link %1").arg(setup.link);
    Output::line(text + QStringLiteral(" seed %1").arg(setup.faults.seed));
}

QString bytesText(const QByteArray& bytes)
{
    return bytes.isEmpty()
               ? QStringLiteral("-")
               : Output::hexDigits(bytes) + QLatin1Char(' ') + Output::characters(bytes);
}

void printText(const Event& event)
{
    const QString time = localTime(event.msecsSinceEpoch);
    switch (event.kind) {
    case Event::Kind::Frame: {
        QString text = QStringLiteral("%1 frame %2").arg(time, bytesText(event.frame));
        if (event.rule < 0)
            text += QLatin1Char(' ') + event.ruleName;
        else if (event.ruleName.isEmpty())
            text += QStringLiteral(" rules[%1]").arg(event.rule);
        else
            text += QStringLiteral(" rules[%1] \"%2\"").arg(event.rule).arg(event.ruleName);
        if (!event.faults.isEmpty())
            text += QStringLiteral(" faults ") + event.faults.join(QLatin1Char(','));
        text += QStringLiteral(" reply ") + bytesText(event.reply);
        if (!event.reply.isEmpty() && event.delayMs > 0)
            text += QStringLiteral(" after %1 ms").arg(event.delayMs);
        Output::line(text);
        break;
    }
    case Event::Kind::Noise:
        Output::line(QStringLiteral("%1 noise %2").arg(time, bytesText(event.reply)));
        break;
    case Event::Kind::Vanished:
        Output::line(QStringLiteral("%1 vanished after %2 frames").arg(time).arg(event.frames));
        break;
    case Event::Kind::LineGone:
        break;
    }
}

void printJson(const Event& event)
{
    const QString time = localTime(event.msecsSinceEpoch);
    switch (event.kind) {
    case Event::Kind::Frame:
        Output::json(
            {{QStringLiteral("event"), QStringLiteral("frame")},
             {QStringLiteral("time"), time},
             {QStringLiteral("frame"), Output::hexDigits(event.frame)},
             {QStringLiteral("frame_text"), Output::characters(event.frame)},
             {QStringLiteral("rule"), event.rule >= 0 ? QJsonValue(event.rule) : QJsonValue()},
             {QStringLiteral("rule_name"), event.ruleName},
             {QStringLiteral("faults"), QJsonArray::fromStringList(event.faults)},
             {QStringLiteral("reply"), Output::hexDigits(event.reply)},
             {QStringLiteral("reply_text"), Output::characters(event.reply)},
             {QStringLiteral("delay_ms"), event.delayMs}});
        break;
    case Event::Kind::Noise:
        Output::json({{QStringLiteral("event"), QStringLiteral("noise")},
                      {QStringLiteral("time"), time},
                      {QStringLiteral("bytes"), Output::hexDigits(event.reply)},
                      {QStringLiteral("text"), Output::characters(event.reply)}});
        break;
    case Event::Kind::Vanished:
        Output::json({{QStringLiteral("event"), QStringLiteral("vanished")},
                      {QStringLiteral("time"), time},
                      {QStringLiteral("frames"), event.frames}});
        break;
    case Event::Kind::LineGone:
        break;
    }
}

} // namespace

int simulateCommand(const QStringList& arguments)
{
    CommandParser parser(
        QStringLiteral("simulate"),
        QStringLiteral("Plays a device that speaks the Loader and Dedicated "
                       "protocols, on a pty, a real serial port or the "
                       "network, for a host program to talk to; misbehaves on purpose when asked."),
        {}, QString::fromLatin1(kEpilogue).arg(InputFile::kMaxBytes / (1024 * 1024)));
    parser.addOptions(kOptions);
    if (const std::optional<int> status = parser.parse(arguments))
        return *status;
    if (!parser.positionalArguments().isEmpty())
        return parser.refuse(QStringLiteral("simulate takes no arguments."));
    Setup setup;
    if (const QString refusal = readSetup(parser, &setup); !refusal.isEmpty())
        return parser.refuse(refusal);

    QList<AnswerRule> rules;
    if (!setup.rulesFile.isEmpty()) {
        const auto file = InputFile::read(setup.rulesFile);
        if (const QString* refusal = std::get_if<QString>(&file)) {
            Output::error(*refusal);
            return ExitStatus::kNoInput;
        }
        const AnswerRules::Reading reading = AnswerRules::read(std::get<QByteArray>(file));
        if (!reading.refusal.isEmpty()) {
            Output::error(QStringLiteral("%1: %2").arg(setup.rulesFile, reading.refusal));
            return ExitStatus::kDataError;
        }
        rules = reading.rules;
    }

    const SignalWatcher watcher;
    SignalWatcher::setLastWords(DeviceLink::removeAtOnce);
    int status = 0;
    // Events come from the device's serving thread; printing them on this one keeps that thread
    // from ever waiting for a terminal or a pipe.
    const auto handle = [&](const Event& event) {
        if (event.kind == Event::Kind::LineGone) {
            Output::error(event.reason);
            status = ExitStatus::kPortFailure;
        } else if (setup.json) {
            printJson(event);
        } else {
            printText(event);
        }
        if (event.kind == Event::Kind::Vanished || event.kind == Event::Kind::LineGone)
            QCoreApplication::quit();
    };
    const DeviceSetup deviceSetup{
        setup.behaviour, rules, setup.faults, [&handle](const Event& event) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [&handle, event] { handle(event); },
                Qt::QueuedConnection);
        }};
    // Clients that come, go or are refused, and a server that closed: told on this thread too.
    const NetworkBridge::Notice notice = [](const QString& text) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [text] { Output::error(text); }, Qt::QueuedConnection);
    };
    std::unique_ptr<SimulatedDevice> device;
    try {
        if (setup.listen)
            device = std::make_unique<SimulatedDevice>(NetworkBridge::listen(*setup.listen, notice),
                                                       deviceSetup);
        else if (setup.network)
            device = std::make_unique<SimulatedDevice>(
                NetworkBridge::connect(*setup.network, notice), deviceSetup);
        else if (setup.portPath.isEmpty())
            device = std::make_unique<SimulatedDevice>(deviceSetup);
        else
            device = std::make_unique<SimulatedDevice>(setup.portPath, setup.baud, deviceSetup);
    } catch (const SerialError& error) {
        Output::error(error.reason());
        return ExitStatus::kPortFailure;
    }

    DeviceLink link;
    if (!setup.link.isEmpty()) {
        if (const QString why = link.make(setup.link, device->devicePath()); !why.isEmpty()) {
            Output::error(why);
            return ExitStatus::kCannotCreate;
        }
    }
    if (setup.portPath.isEmpty())
        Output::line(device->devicePath());
    printStart(setup, device->devicePath());

    QObject::connect(&watcher, &SignalWatcher::caught, QCoreApplication::instance(),
                     &QCoreApplication::quit);
    QCoreApplication::exec();
    device.reset();
    // What the device told before it stopped is still printed.
    QCoreApplication::sendPostedEvents();
    return status;
}
