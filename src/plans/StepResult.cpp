#include "plans/StepResult.h"

StepCounts StepCounts::of(const QList<StepResult>& results)
{
    StepCounts counts;
    for (const StepResult& result : results) {
        counts.passed += result.status == StepResult::Status::Passed;
        counts.failed += result.status == StepResult::Status::Failed ||
                         result.status == StepResult::Status::Error;
        counts.interrupted += result.status == StepResult::Status::Interrupted;
        counts.notRun += result.status == StepResult::Status::NotRun;
    }
    return counts;
}

QString StepCounts::summary() const
{
    return QStringLiteral("%1 passed, %2 failed").arg(passed).arg(failed) +
           (interrupted > 0 ? QStringLiteral(", %1 interrupted").arg(interrupted) : QString()) +
           (notRun > 0 ? QStringLiteral(", %1 not run").arg(notRun) : QString());
}
