#pragma once
// One run of a plan's steps, for rs232c run and the Plans window alike: each step's exchanges
// go through the exchange runner given, on the event loop, and each step's result comes out as
// the step ends. A step ends at its first exchange that does not meet the expectation, a port
// failure (the steps after it are not run), a record the log could not take (likewise) or a
// stop: the exchange running is cut, the step is interrupted (not run when none of its frames
// went out) and the steps after it are not run.

#include "plans/PlanReader.h"
#include "plans/StepResult.h"
#include "protocols/ExchangeRunner.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class PlanRun : public QObject {
    Q_OBJECT

public:
    // The steps of plan run on runner, whose port and state outlive the run. The plan's ports
    // are the caller's to apply.
    PlanRun(const Plan& plan, ExchangeRunner& runner, QObject* parent = nullptr);

    // Begins the first step; the results come as the steps end, finished() after the last.
    void start();
    // Ends the run for the reason given ("ended by SIGINT", "ended by Stop"): a running exchange
    // is cut with it, the step in progress ends with it, and the steps after are not run.
    void stop(const QString& reason);
    // Called from stepEnded(): the steps after it are not run, for the reason given ("not run:
    // standard output could not be written"), unless another reason came first.
    void skipRest(const QString& why);

    bool running() const { return m_phase != Phase::Idle; }
    // The results of the steps ended so far, in the plan's order.
    const QList<StepResult>& results() const { return m_results; }
    // Why a record of the run could not be logged; empty while every one was.
    QString logError() const { return m_logError; }

signals:
    // One exchange of the step (numbered from 1) has ended; its record is in the log.
    void exchangeEnded(int step, const ExchangeRecord& record);
    void stepEnded(const StepResult& result);
    void finished();

private:
    enum class Phase { Idle, Exchanging, Waiting, BetweenSteps };

    void nextStep();
    void waitForExchange(int ms);
    void beginExchange();
    void exchangeDone();
    // Ends the step as it stands, with the reason the steps after are not run, if any.
    void endStep();

    Plan m_plan;
    ExchangeRunner& m_runner;
    QTimer m_interval;
    QElapsedTimer m_clock;
    Phase m_phase = Phase::Idle; // Idle before the run and after it
    qsizetype m_index = -1;
    StepResult m_step;
    QList<StepResult> m_results;
    QString m_stopReason;
    QString m_restWhy; // why the steps after the current one are not run
    QString m_logError;
};
