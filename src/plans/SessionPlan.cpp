#include "plans/SessionPlan.h"

#include "protocols/LineSettings.h"

#include <algorithm>

namespace {

// The rate of a line as the record has it ("19200,n,8,1"); none when it is no listed rate.
std::optional<qint32> rateOf(const QString& settings)
{
    bool ok = false;
    const qint32 rate = settings.section(QLatin1Char(','), 0, 0).trimmed().toInt(&ok);
    if (!ok || std::ranges::find(kBaudRates, rate) == kBaudRates.end())
        return std::nullopt;
    return rate;
}

} // namespace

Plan planOfSession(const QList<SessionExchange>& session, const SessionExpectations& expectations)
{
    Plan plan;
    for (const SessionExchange& exchange : session) {
        const ExchangeRecord& record = exchange.record;
        if (record.outcome != ExchangeRecord::Outcome::Replied)
            continue;
        PlanStep step;
        step.exchange.request = exchange.request;
        step.exchange.port = exchange.port;
        step.exchange.baud = rateOf(record.settings).value_or(step.exchange.baud);
        step.expect.replyClass = record.replyClass();
        if (expectations.replyBytes)
            step.expect.reply = record.reply;
        if (expectations.latencyMargin && record.latency)
            step.expect.maxLatency = *record.latency + *expectations.latencyMargin;
        QString& device = plan.ports[step.exchange.usedPort() - 1];
        if (device.isEmpty())
            device = record.device;
        plan.steps << step;
    }
    return plan;
}
