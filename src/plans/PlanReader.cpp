#include "plans/PlanReader.h"

#include "codec/Codec.h"
#include "codec/JsonReader.h"
#include "codec/WholeNumber.h"
#include "plans/InputFile.h"
#include "serial/NetworkPort.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QStringList kPlanKeys = {QStringLiteral("name"),  QStringLiteral("comment"),
                               QStringLiteral("ports"), QStringLiteral("port"),
                               QStringLiteral("baud"),  QStringLiteral("steps")};
const QStringList kStepKeys = {
    QStringLiteral("name"),    QStringLiteral("comment"),     QStringLiteral("console"),
    QStringLiteral("message"), QStringLiteral("hex"),         QStringLiteral("port"),
    QStringLiteral("baud"),    QStringLiteral("bcc"),         QStringLiteral("header"),
    QStringLiteral("bcc1"),    QStringLiteral("tail"),        QStringLiteral("bcc2"),
    QStringLiteral("repeat"),  QStringLiteral("interval_ms"), QStringLiteral("expect")};
const QStringList kExpectKeys = {QStringLiteral("comment"), QStringLiteral("class"),
                                 QStringLiteral("reply_hex"), QStringLiteral("reply_check"),
                                 QStringLiteral("max_latency_ms")};
// The options only some consoles take.
const QStringList kConsoleOptions = {
    QStringLiteral("port"), QStringLiteral("baud"), QStringLiteral("bcc"), QStringLiteral("header"),
    QStringLiteral("bcc1"), QStringLiteral("tail"), QStringLiteral("bcc2")};

// A latency is measured in whole microseconds, so a smaller limit could never be met.
constexpr double kMinLatencyMs = 0.001;
constexpr double kMaxLatencyMs = 3'600'000;

struct Refusal {
    QString text;
};

[[noreturn]] void refuse(const QString& path, const QString& why)
{
    throw Refusal{path.isEmpty() ? why : QStringLiteral("%1: %2").arg(path, why)};
}

QString child(const QString& path, const QString& key)
{
    return path.isEmpty() ? key : path + QLatin1Char('.') + key;
}

QString typeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("true or false");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a text");
    case QJsonValue::Array:
        return QStringLiteral("a list");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

[[noreturn]] void wrongType(const QJsonValue& value, const QString& path, const QString& needed)
{
    refuse(path, QStringLiteral("%1 is needed, not %2").arg(needed, typeName(value)));
}

QJsonObject object(const QJsonValue& value, const QString& path, const QStringList& keys)
{
    if (!value.isObject())
        wrongType(value, path, QStringLiteral("an object"));
    const QJsonObject object = value.toObject();
    for (const QString& key : object.keys()) {
        if (!keys.contains(key))
            refuse(child(path, key),
                   QStringLiteral("unknown key; the keys here are %1").arg(keys.join(u", ")));
    }
    return object;
}

QString text(const QJsonValue& value, const QString& path)
{
    if (!value.isString())
        wrongType(value, path, QStringLiteral("a text"));
    return value.toString();
}

bool boolean(const QJsonValue& value, const QString& path)
{
    if (!value.isBool())
        wrongType(value, path, QStringLiteral("true or false"));
    return value.toBool();
}

qint64 wholeNumber(const QJsonValue& value, const QString& path, qint64 min, qint64 max)
{
    const WholeNumber limits{min, max};
    const std::optional<qint64> number = limits.read(value);
    if (!number)
        refuse(path, limits.refusal(value));
    return *number;
}

void check(const QString& path, const QString& problem)
{
    if (!problem.isEmpty())
        refuse(path, problem);
}

QByteArray bytes(const QJsonValue& value, const QString& path, bool hex)
{
    try {
        return ExchangeChecks::message(text(value, path), hex);
    } catch (const codec::CodecError& error) {
        refuse(path, error.message());
    }
}

// The line every step has unless it says otherwise.
struct Line {
    int port = 1;
    qint32 baud = 38400;
};

int port(const QJsonValue& value, const QString& path)
{
    return int(wholeNumber(value, path, 1, 2));
}

qint32 baud(const QJsonValue& value, const QString& path)
{
    const qint64 rate = wholeNumber(value, path, 1, std::numeric_limits<qint32>::max());
    check(path, ExchangeChecks::baud(rate));
    return qint32(rate);
}

Expectation readExpectation(const QJsonValue& value, const QString& path)
{
    const QJsonObject expect = object(value, path, kExpectKeys);
    Expectation expectation;
    if (expect.contains(u"class")) {
        const QString where = child(path, QStringLiteral("class"));
        const QString name = text(expect[u"class"], where);
        expectation.replyClass = replyClassFromName(name);
        if (!expectation.replyClass)
            refuse(where, QStringLiteral("\"%1\" is none of ack, nak, none, other").arg(name));
    }
    if (expect.contains(u"reply_hex"))
        expectation.reply =
            bytes(expect[u"reply_hex"], child(path, QStringLiteral("reply_hex")), true);
    if (expect.contains(u"reply_check")) {
        // null: the reply is no frame of the console's form, as the records write it.
        const QString where = child(path, QStringLiteral("reply_check"));
        const QJsonValue check = expect[u"reply_check"];
        if (check.isNull())
            expectation.replyCheck = ReplyCheck::None;
        else if (check == QJsonValue(QStringLiteral("ok")))
            expectation.replyCheck = ReplyCheck::Ok;
        else if (check == QJsonValue(QStringLiteral("bad")))
            expectation.replyCheck = ReplyCheck::Bad;
        else if (check.isString())
            refuse(where, QStringLiteral("\"%1\" is none of ok, bad, null").arg(check.toString()));
        else
            wrongType(check, where, QStringLiteral("\"ok\", \"bad\" or null"));
    }
    if (expect.contains(u"max_latency_ms")) {
        const QString where = child(path, QStringLiteral("max_latency_ms"));
        const QJsonValue limit = expect[u"max_latency_ms"];
        if (!limit.isDouble())
            wrongType(limit, where, QStringLiteral("a number"));
        const double ms = limit.toDouble();
        if (ms < kMinLatencyMs || ms > kMaxLatencyMs)
            refuse(where, QStringLiteral("%1 is out of range: %2 to %3")
                              .arg(ms, 0, 'g', QLocale::FloatingPointShortest)
                              .arg(kMinLatencyMs, 0, 'f', 3)
                              .arg(kMaxLatencyMs, 0, 'f', 0));
        expectation.maxLatency = std::chrono::microseconds(std::llround(ms * 1000));
    }
    return expectation;
}

PlanStep readStep(const QJsonValue& value, const QString& path, const Line& line)
{
    const QJsonObject step = object(value, path, kStepKeys);
    const auto at = [&path](const char* key) { return child(path, QString::fromLatin1(key)); };
    if (!step.contains(u"console"))
        refuse(at("console"), QStringLiteral("missing: loader, dedicated or userdef"));
    const QString consoleText = text(step[u"console"], at("console"));
    const std::optional<ConsoleKind> kind = consoleKindFromName(consoleText);
    if (!kind)
        refuse(at("console"),
               QStringLiteral("\"%1\" is none of loader, dedicated, userdef").arg(consoleText));
    for (const QString& option : kConsoleOptions) {
        if (step.contains(option))
            check(child(path, option), ExchangeChecks::optionOnConsole(*kind, option));
    }

    PlanStep read;
    ExchangeSetup& exchange = read.exchange;
    exchange.request.kind = *kind;
    exchange.port = step.contains(u"port") ? port(step[u"port"], at("port")) : line.port;
    exchange.baud = step.contains(u"baud") ? baud(step[u"baud"], at("baud")) : line.baud;
    if (step.contains(u"bcc"))
        exchange.request.withCheck = boolean(step[u"bcc"], at("bcc"));
    UserDefSelections& selections = exchange.request.selections;
    for (const auto& [key, field] :
         {std::pair{"header", &selections.header}, std::pair{"bcc1", &selections.bcc1},
          std::pair{"tail", &selections.tail}, std::pair{"bcc2", &selections.bcc2}}) {
        if (step.contains(QLatin1String(key)))
            *field = text(step[QLatin1String(key)], at(key));
    }
    QString faulty;
    const QString selectionProblem = ExchangeChecks::selections(selections, &faulty);
    check(child(path, faulty), selectionProblem);

    const bool hex = step.contains(u"hex");
    if (hex == step.contains(u"message"))
        refuse(path, hex ? QStringLiteral("give message or hex, not both")
                         : QStringLiteral("a message is missing: give message (text) or hex "
                                          "(hex digits)"));
    const char* messageKey = hex ? "hex" : "message";
    const QJsonValue message = step[QLatin1String(messageKey)];
    exchange.request.message = bytes(message, at(messageKey), hex);

    if (step.contains(u"repeat"))
        read.repeat =
            int(wholeNumber(step[u"repeat"], at("repeat"), 1, ExchangeChecks::kMaxRepeat));
    if (step.contains(u"interval_ms"))
        read.intervalMs = int(wholeNumber(step[u"interval_ms"], at("interval_ms"), 0,
                                          ExchangeChecks::kMaxIntervalMs));
    if (step.contains(u"expect"))
        read.expect = readExpectation(step[u"expect"], at("expect"));
    if (step.contains(u"name"))
        read.name = text(step[u"name"], at("name")).trimmed();
    // A step needs a name to be found by in the output and the report.
    if (read.name.isEmpty())
        read.name = QStringLiteral("%1 %2%3").arg(
            consoleText, hex ? QStringLiteral("hex ") : QString(), message.toString());
    return read;
}

Plan read(QByteArrayView json)
{
    const std::variant<QJsonDocument, QString> parsed = JsonReader::read(json);
    if (const QString* refusal = std::get_if<QString>(&parsed))
        refuse({}, *refusal);
    const QJsonDocument& document = std::get<QJsonDocument>(parsed);
    if (!document.isObject())
        refuse({}, QStringLiteral("a plan is a JSON object: {\"steps\": [...]}"));
    const QJsonObject top = object(document.object(), {}, kPlanKeys);

    Plan plan;
    if (top.contains(u"name"))
        plan.name = text(top[u"name"], QStringLiteral("name"));
    if (top.contains(u"ports")) {
        const QJsonObject ports = object(top[u"ports"], QStringLiteral("ports"),
                                         {QStringLiteral("1"), QStringLiteral("2")});
        for (int port = 1; port <= 2; ++port) {
            const QString key = QString::number(port);
            if (!ports.contains(key))
                continue;
            const QString where = QStringLiteral("ports.%1").arg(key);
            plan.ports[port - 1] = text(ports[key], where);
            if (plan.ports[port - 1].isEmpty())
                refuse(where, QStringLiteral("a device path is needed"));
            QString why;
            if (NetworkPort::looksLikeNetwork(plan.ports[port - 1]) &&
                !NetworkPort::parse(plan.ports[port - 1], &why))
                refuse(where, why);
        }
    }
    Line line;
    if (top.contains(u"port"))
        line.port = port(top[u"port"], QStringLiteral("port"));
    if (top.contains(u"baud"))
        line.baud = baud(top[u"baud"], QStringLiteral("baud"));
    if (!top.contains(u"steps"))
        refuse(QStringLiteral("steps"), QStringLiteral("missing: a list of steps"));
    const QJsonValue steps = top[u"steps"];
    if (!steps.isArray())
        wrongType(steps, QStringLiteral("steps"), QStringLiteral("a list"));
    const QJsonArray list = steps.toArray();
    if (list.isEmpty())
        refuse(QStringLiteral("steps"), QStringLiteral("a plan needs at least one step"));
    for (qsizetype index = 0; index < list.size(); ++index)
        plan.steps << readStep(list[index], QStringLiteral("steps[%1]").arg(index), line);
    return plan;
}

} // namespace

std::variant<Plan, QString> readPlan(QByteArrayView json)
{
    try {
        return read(json);
    } catch (const Refusal& refusal) {
        return refusal.text;
    }
}

std::variant<Plan, QString> readPlanFile(const QString& path, bool* unreadable)
{
    const auto file = InputFile::read(path);
    if (unreadable)
        *unreadable = std::holds_alternative<QString>(file);
    if (const QString* refusal = std::get_if<QString>(&file))
        return *refusal;
    auto reading = readPlan(std::get<QByteArray>(file));
    if (const QString* refusal = std::get_if<QString>(&reading))
        return QStringLiteral("%1: %2").arg(path, *refusal);
    return reading;
}
