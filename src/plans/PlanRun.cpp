#include "plans/PlanRun.h"

PlanRun::PlanRun(const Plan& plan, ExchangeRunner& runner, QObject* parent)
    : QObject(parent), m_plan(plan), m_runner(runner)
{
    m_interval.setSingleShot(true);
    connect(&m_interval, &QTimer::timeout, this, &PlanRun::beginExchange);
    connect(&m_runner, &ExchangeRunner::finished, this, [this] {
        if (m_phase == Phase::Exchanging)
            exchangeDone();
    });
}

void PlanRun::start()
{
    m_index = -1;
    m_results.clear();
    nextStep();
}

void PlanRun::stop(const QString& reason)
{
    if (!running() || !m_stopReason.isEmpty())
        return;
    m_stopReason = reason;
    switch (m_phase) {
    case Phase::Exchanging:
        // The cut exchange's record says why; one that already ended is judged as it came.
        if (m_runner.abort(reason))
            exchangeDone();
        break;
    case Phase::Waiting:
        m_interval.stop();
        m_step.status =
            m_step.exchanges > 0 ? StepResult::Status::Interrupted : StepResult::Status::NotRun;
        m_step.why = reason;
        endStep();
        break;
    case Phase::BetweenSteps:
        skipRest(QStringLiteral("not run"));
        break;
    case Phase::Idle:
        break;
    }
}

void PlanRun::skipRest(const QString& why)
{
    if (m_restWhy.isEmpty())
        m_restWhy = why;
}

void PlanRun::nextStep()
{
    while (++m_index < m_plan.steps.size()) {
        const PlanStep& step = m_plan.steps[m_index];
        m_step = StepResult{};
        m_step.number = int(m_index + 1);
        m_step.name = step.name;
        m_step.expected = step.expect.describe();
        if (m_restWhy.isEmpty()) {
            m_step.status = StepResult::Status::Passed;
            m_clock.start();
            waitForExchange(0);
            return;
        }
        m_step.why = m_restWhy;
        m_phase = Phase::BetweenSteps;
        m_results << m_step;
        emit stepEnded(m_step);
    }
    m_phase = Phase::Idle;
    emit finished();
}

void PlanRun::waitForExchange(int ms)
{
    // Also with no pause the exchange begins from the event loop, never inside the end of the
    // one before it.
    m_phase = Phase::Waiting;
    m_interval.start(ms);
}

void PlanRun::beginExchange()
{
    const ExchangeSetup& setup = m_plan.steps[m_index].exchange;
    setup.apply(m_runner.state());
    m_phase = Phase::Exchanging;
    if (m_runner.begin(setup.request))
        m_runner.run();
    else
        exchangeDone();
}

void PlanRun::exchangeDone()
{
    const PlanStep& step = m_plan.steps[m_index];
    const ExchangeRecord& record = m_runner.record();
    const QString logError = m_runner.logError();
    if (!logError.isEmpty())
        m_logError = logError;
    ++m_step.exchanges;
    m_step.last = record;
    emit exchangeEnded(m_step.number, record);

    if (record.outcome == ExchangeRecord::Outcome::PortFailure) {
        m_step.status = StepResult::Status::Error;
        m_step.why = QStringLiteral("%1: %2").arg(record.word(), record.error);
        skipRest(QStringLiteral("not run: the port failed in step %1").arg(m_step.number));
    } else if (record.outcome == ExchangeRecord::Outcome::Interrupted) {
        m_step.status = StepResult::Status::Interrupted;
        m_step.why = record.error;
    } else if (!step.expect.isMetBy(record)) {
        m_step.status = StepResult::Status::Failed;
        m_step.why = QStringLiteral("expected %1; got %2")
                         .arg(m_step.expected, Expectation::describe(record));
    } else if (!logError.isEmpty()) {
        m_step.status = StepResult::Status::Error;
        m_step.why = QStringLiteral("the log could not be written: %1").arg(logError);
    } else if (m_step.exchanges < step.repeat) {
        if (!m_stopReason.isEmpty()) {
            m_step.status = StepResult::Status::Interrupted;
            m_step.why = m_stopReason;
        } else {
            waitForExchange(step.intervalMs);
            return;
        }
    }
    endStep();
}

void PlanRun::endStep()
{
    m_step.seconds = double(m_clock.nsecsElapsed()) / 1e9;
    if (!m_stopReason.isEmpty())
        skipRest(QStringLiteral("not run"));
    else if (!m_logError.isEmpty())
        skipRest(QStringLiteral("not run: the log could not be written"));
    m_phase = Phase::BetweenSteps;
    m_results << m_step;
    emit stepEnded(m_step);
    nextStep();
}
