#pragma once
// rs232c run PLAN: the steps of a test plan (see PlanReader.h), one line each and a summary, a
// JUnit report on request, and the exit status of the whole.

#include <QStringList>

int runCommand(const QStringList& arguments);
