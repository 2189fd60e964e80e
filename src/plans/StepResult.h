#pragma once
// How one step of a plan went, for the step's output line, the JSON lines and the JUnit report.

#include "protocols/ExchangeRecord.h"

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
