#pragma once
// How one step of a plan went, for the step's output line, the JSON lines and the JUnit report.

#include "protocols/ExchangeRecord.h"

#include <QList>
#include <QString>

#include <optional>

struct StepResult {
    // Error: the port failed, or an exchange's record could not be logged. Interrupted: a signal
    // ended the step after its first frame had gone out. NotRun: no frame of the step went out.
    enum class Status { Passed, Failed, Error, Interrupted, NotRun };

    int number = 0; // from 1, as the plan's output counts them
    QString name;
    Status status = Status::NotRun;
    QString expected; // what every exchange had to meet
    QString why;      // why the step did not pass
    int exchanges = 0;
    std::optional<ExchangeRecord> last; // the exchange that decided the step
    double seconds = 0;
};

// The step's tag as run's lines and the Plans window show it: PASS, FAIL (failed or an error),
// STOP (interrupted) or SKIP (not run).
inline QString stepTag(StepResult::Status status)
{
    static const char* const kTags[] = {"PASS", "FAIL", "FAIL", "STOP", "SKIP"};
    return QLatin1String(kTags[int(status)]);
}

// How many steps of a run ended each way, and run's summary line of them: "2 passed, 1 failed",
// with ", 1 interrupted" and ", 3 not run" when there are such.
struct StepCounts {
    int passed = 0;
    int failed = 0; // failed or an error
    int interrupted = 0;
    int notRun = 0;

    static StepCounts of(const QList<StepResult>& results);
    QString summary() const;
};
