#pragma once
// Steps and plans written in the form the plan reader reads, so that what the windows keep
// (saved messages, a session saved as a plan) is a plan that rs232c run takes as it stands.
//
// A message is written as characters ("message") when its bytes read as text in the character
// view, else as hex digits ("hex"). Options are written only for the consoles that take them;
// the line (port and baud) only when asked, and never for the Loader, whose line is fixed.

#include "plans/PlanReader.h"

#include <QByteArray>
#include <QJsonObject>

// Whether a step carries the line it went out on, or leaves it to the plan (or to the settings
// window, for a saved message).
enum class StepLine { Omitted, Written };

QJsonObject stepJson(const PlanStep& step, StepLine line);
// The whole plan as an indented JSON document; the name and the ports only when given.
QByteArray planJson(const Plan& plan, StepLine line);
