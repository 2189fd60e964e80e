#pragma once
// The desktop program's session log, as --log asks for it.

#include "app/CommandLine.h"
#include "engine/SessionLog.h"

#include <memory>

// Opens the session log --log names, for the consoles (none without --log). A log that
// cannot be opened, an empty name among them, is said in a message box and false comes back: the
// program then ends before any window shows, as a record asked for must never be silently missing.
bool startSessionLog(const CommandLine& options, std::unique_ptr<SessionLog>* log);
