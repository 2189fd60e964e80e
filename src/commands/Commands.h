#pragma once
// The commands layer (src/commands): rs232c's commands and what they share around an exchange.
// It uses the plans, the protocols, the engine, the simulated device, the serial layer and the
// codec, and no window system.
//
// The shell executable rs232c: the same consoles, engine and simulated device as the windows,
// driven from a shell or a CI job. One command per task: ports (the machine's serial ports),
// and the exchange commands beside it. No window system is started, so the commands run with
// no display, in containers and over ssh. The desktop program hands these commands over, so
// rs232c-tester COMMAND ... works too.

// True when name is a command of rs232c.
bool isCommandName(const char* name);

// Runs a whole command line (argv[1] is the command, or --help / --version) and returns the exit
// status.
int runCommandLine(int argc, char* argv[]);
