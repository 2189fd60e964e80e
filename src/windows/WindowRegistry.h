#pragma once
// How each window of the program is made. The windows open one another only through
// WindowServices, so none of them includes another's header; this is the one place that knows
// them all, and it gives every window the program-wide values and the session log it works on.

#include "engine/SessionLog.h"
#include "protocols/ProgramState.h"

class WindowServices;

// state and log (none: nullptr) outlive every window made.
void registerWindows(WindowServices& services, ProgramState& state, SessionLog* log);
