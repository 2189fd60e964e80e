#pragma once
// The plans layer (src/plans): an exchange as send's options and a plan's steps describe it, the
// plan reader, what a step expects and how it ended, the JUnit report, and the reading of the
// files plans come from. The windows and the commands both run plans through it. It uses the
// protocols, the engine, the serial layer and the codec.
//
// A test plan: a JSON document a person writes by hand, read with no file I/O and no side effect
// (bytes in, a plan or a refusal out), so that the reading stands alone for tests and fuzzing.
// The whole plan is checked before anything is sent. A refusal says where the plan is wrong: by
// line and column for text that is no JSON, by key path (steps[2].expect.class) for anything
// else. An unknown key is refused, so a misspelt expectation is never silently dropped.
//
//     {"ports": {"1": "/dev/ttyUSB0"}, "baud": 19200,
//      "steps": [{"console": "loader", "message": "ABC", "expect": {"class": "ack"}}]}

#include "plans/ExchangeSetup.h"
#include "plans/Expectation.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>
#include <variant>

struct PlanStep {
    QString name; // as given, else the console and the message
    ExchangeSetup exchange;
    int repeat = 1;
    int intervalMs = 0; // between the step's exchanges
    Expectation expect; // of every exchange of the step
};

struct Plan {
    QString name;                 // as given; empty: the caller names it (after its file)
    std::array<QString, 2> ports; // the devices of ports 1 and 2; empty: as the Ports window chose
    QList<PlanStep> steps;
};

// The plan, or the refusal's text: "steps[2].expect.class: ..." or "line 3, column 7: ...".
std::variant<Plan, QString> readPlan(QByteArrayView json);

// The plan in the file at path (read through InputFile), or the refusal as rs232c run says it:
// the file's ("plan.json: a named pipe, not a regular file") or the plan's after the path
// ("plan.json: line 3, column 7: ..."). unreadable says whether a refusal is the file's.
std::variant<Plan, QString> readPlanFile(const QString& path, bool* unreadable = nullptr);
