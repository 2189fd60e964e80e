// rs232c run's plan reader. Any document is read whole or refused with a reason that says where
// (a line and column, or a key's path); every step of a plan that was read is one the console can
// send: its frame builds without a refusal, on a port and at a rate of the settings lists.

#include "FuzzSupport.h"
#include "plans/PlanReader.h"

using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto read = readPlan(fuzz::inputBytes(data, size));
    if (const QString* refusal = std::get_if<QString>(&read)) {
        require(!refusal->isEmpty(), "a refusal says why");
        return 0;
    }
    const Plan& plan = std::get<Plan>(read);
    for (const PlanStep& step : plan.steps) {
        require(!step.name.isEmpty(), "every step has a name to report");
        require(step.repeat >= 1 && step.intervalMs >= 0, "a repeat and an interval that run");
        require(step.repeat <= ExchangeChecks::kMaxRepeat &&
                    step.intervalMs <= ExchangeChecks::kMaxIntervalMs,
                "the limits of send's options");
        require(!step.expect.maxLatency || step.expect.maxLatency->count() >= 1,
                "a latency limit an exchange can meet");
        ProgramState state;
        step.exchange.apply(state);
        try {
            const TransactionPlan sent = consolePlan(step.exchange.request, state);
            require(sent.commPort.has_value() && sent.settings.has_value(),
                    "a port and a rate the serial control takes");
        } catch (const SelectionError&) {
            require(false, "a step that was read builds its frame");
        }
    }
    const auto again = readPlan(fuzz::inputBytes(data, size));
    require(std::holds_alternative<Plan>(again), "the same document reads the same");
    return 0;
}
