#pragma once
// The JUnit XML report of a plan's run, as CI systems read it: one testsuite, one testcase per
// step; a step that did not meet its expectation is a failure (expected and actual bytes in its
// text), one whose port failed an error, one not run skipped.

#include "plans/StepResult.h"

#include <QDateTime>
#include <QList>
#include <QString>

class QIODevice;

// The suite's name: the plan's own, else its file's name without the extension.
QString junitSuiteName(const QString& planName, const QString& planPath);

void writeJUnitReport(QIODevice& device, const QString& suiteName, const QDateTime& startedAt,
                      const QList<StepResult>& steps);
