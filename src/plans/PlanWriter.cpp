#include "plans/PlanWriter.h"

#include "codec/Codec.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString hexWithBlanks(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QJsonObject expectJson(const Expectation& expect)
{
    QJsonObject object;
    if (expect.replyClass)
        object.insert(QStringLiteral("class"), replyClassName(*expect.replyClass));
    if (expect.reply)
        object.insert(QStringLiteral("reply_hex"), hexWithBlanks(*expect.reply));
    if (expect.replyCheck)
        object.insert(QStringLiteral("reply_check"), replyCheckJson(*expect.replyCheck));
    if (expect.maxLatency)
        object.insert(QStringLiteral("max_latency_ms"), double(expect.maxLatency->count()) / 1000);
    return object;
}

} // namespace

QJsonObject stepJson(const PlanStep& step, StepLine line)
{
    const ConsoleRequest& request = step.exchange.request;
    QJsonObject object;
    if (!step.name.isEmpty())
        object.insert(QStringLiteral("name"), step.name);
    object.insert(QStringLiteral("console"), consoleName(request.kind));
    if (codec::readsAsText(request.message))
        object.insert(QStringLiteral("message"),
                      codec::bytesToText(request.message, codec::LineBreaks::AsSymbols));
    else
        object.insert(QStringLiteral("hex"), hexWithBlanks(request.message));
    if (line == StepLine::Written && console(request.kind).fixedLine.isEmpty()) {
        object.insert(QStringLiteral("port"), step.exchange.port);
        object.insert(QStringLiteral("baud"), step.exchange.baud);
    }
    if (request.kind == ConsoleKind::Dedicated)
        object.insert(QStringLiteral("bcc"), request.withCheck);
    if (request.kind == ConsoleKind::UserDefine) {
        const UserDefSelections& selections = request.selections;
        object.insert(QStringLiteral("header"), selections.header);
        object.insert(QStringLiteral("bcc1"), selections.bcc1);
        object.insert(QStringLiteral("tail"), selections.tail);
        object.insert(QStringLiteral("bcc2"), selections.bcc2);
    }
    if (step.repeat != 1)
        object.insert(QStringLiteral("repeat"), step.repeat);
    if (step.intervalMs != 0)
        object.insert(QStringLiteral("interval_ms"), step.intervalMs);
    const QJsonObject expect = expectJson(step.expect);
    if (!expect.isEmpty())
        object.insert(QStringLiteral("expect"), expect);
    return object;
}

QByteArray planJson(const Plan& plan, StepLine line)
{
    QJsonObject object;
    if (!plan.name.isEmpty())
        object.insert(QStringLiteral("name"), plan.name);
    QJsonObject ports;
    for (int port = 1; port <= 2; ++port) {
        if (!plan.ports[port - 1].isEmpty())
            ports.insert(QString::number(port), plan.ports[port - 1]);
    }
    if (!ports.isEmpty())
        object.insert(QStringLiteral("ports"), ports);
    QJsonArray steps;
    for (const PlanStep& step : plan.steps)
        steps.append(stepJson(step, line));
    object.insert(QStringLiteral("steps"), steps);
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}
