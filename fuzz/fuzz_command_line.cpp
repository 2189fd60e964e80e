// The desktop program's command line. Each line of the input (UTF-8) is one argument after the
// program's name, as in "--demo\n--demo-reply\nhex:0641". Every argument is also read as a demo
// reply mode, against a reading of the modes written here.

#include "FuzzSupport.h"
#include "app/CommandLine.h"

#include <QRegularExpression>
#include <QStringList>

#include <optional>

using fuzz::require;

namespace {

using Behaviour = SimulatedDevice::Behaviour;
using Mode = SimulatedDevice::Mode;

bool sameBehaviour(const Behaviour& a, const Behaviour& b)
{
    return a.mode == b.mode && a.bytes == b.bytes && a.delayMs == b.delayMs;
}

bool sameOptions(const CommandLine& a, const CommandLine& b)
{
    return a.action == b.action && a.error == b.error && a.com1 == b.com1 && a.com2 == b.com2 &&
           a.demo == b.demo && sameBehaviour(a.demoBehaviour, b.demoBehaviour);
}

std::optional<Behaviour> readMode(const QString& text)
{
    const QString mode = text.trimmed().toLower();
    const Mode words[] = {Mode::Protocol, Mode::Ack, Mode::Nak, Mode::Silent};
    const QStringList names{"protocol", "ack", "nak", "silent"};
    if (const qsizetype at = names.indexOf(mode); at >= 0)
        return Behaviour{words[at], {}, 0};
    if (!mode.startsWith(QLatin1String("hex:")))
        return std::nullopt;
    // Pairs of digits with blanks, tabs or line breaks between them; a last lone digit d is 0d.
    static const QRegularExpression separators(QStringLiteral("[ \t\r\n\u2028\u2029]+"));
    const QStringList groups = mode.mid(4).split(separators, Qt::SkipEmptyParts);
    QByteArray bytes;
    for (qsizetype g = 0; g < groups.size(); ++g) {
        QString digits = groups[g];
        if (digits.size() % 2 != 0) {
            if (g + 1 < groups.size())
                return std::nullopt;
            digits.insert(digits.size() - 1, QLatin1Char('0'));
        }
        for (qsizetype i = 0; i < digits.size(); i += 2) {
            const int high = QStringLiteral("0123456789abcdef").indexOf(digits[i]);
            const int low = QStringLiteral("0123456789abcdef").indexOf(digits[i + 1]);
            if (high < 0 || low < 0)
                return std::nullopt;
            bytes.append(static_cast<char>(high * 16 + low));
        }
    }
    if (bytes.isEmpty())
        return std::nullopt;
    return Behaviour{Mode::Bytes, bytes, 0};
}

void checkMode(const QString& text)
{
    const Behaviour untouched{Mode::Silent, "untouched", 7};
    Behaviour behaviour = untouched;
    const bool taken = SimulatedDevice::parseMode(text, &behaviour);
    const std::optional<Behaviour> expected = readMode(text);
    require(taken == expected.has_value(), "a mode is taken exactly when it reads");
    if (!taken) {
        require(sameBehaviour(behaviour, untouched), "a refused mode changes nothing");
        return;
    }
    require(behaviour.mode == expected->mode && behaviour.bytes == expected->bytes,
            "the mode and its reply bytes are as written");
    require(behaviour.delayMs == untouched.delayMs, "a mode leaves the delay alone");
}

void checkOptions(const CommandLine& options)
{
    const CommandLine fresh;
    require((options.action == CommandLine::Action::Refuse) == !options.error.isEmpty(),
            "a refusal says why, and only a refusal");
    if (options.action != CommandLine::Action::Run) {
        CommandLine bare = fresh;
        bare.action = options.action;
        bare.error = options.error;
        require(sameOptions(options, bare), "help, version and refusals carry nothing else");
        return;
    }
    if (options.demo) {
        require(options.com1.isEmpty() && options.com2.isEmpty(), "demo mode maps no devices");
    } else {
        require(sameBehaviour(options.demoBehaviour, fresh.demoBehaviour),
                "no demo behaviour without --demo");
    }
    require(options.demoBehaviour.delayMs >= 0, "the demo delay is never negative");
    require((options.demoBehaviour.mode == Mode::Bytes) == !options.demoBehaviour.bytes.isEmpty(),
            "reply bytes exactly in hex mode");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QStringList given = fuzz::utf8Text(data, size).split(u'\n');
    const QStringList arguments = QStringList{QStringLiteral("rs232c-tester")} + given;
    const CommandLine options = parseCommandLine(arguments);
    checkOptions(options);
    require(sameOptions(parseCommandLine(arguments), options), "the same line reads the same");
    for (const QString& argument : given)
        checkMode(argument);
    return 0;
}
