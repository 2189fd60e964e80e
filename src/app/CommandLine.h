#pragma once
// The app layer (src/app): the two programs. rs232c.cpp is the shell command's main();
// rs232c-tester.cpp is the desktop program's, which hands "rs232c-tester COMMAND" over to the
// commands or starts the windows; the rest is the desktop program's start-up. It may use every
// layer.
//
// The command line: which devices ports 1 and 2 mean (--com1, --com2), or a demo with two
// simulated devices answering on them (--demo, --demo-reply, --demo-delay), and the session log
// (--log).

#include "device/SimulatedDevice.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

struct CommandLine {
    enum class Action { Run, Help, Version, Refuse };

    Action action = Action::Run;
    QString error; // why the command line is refused
    QString com1;  // device of port 1 as given; empty: the one chosen in the Ports window
    QString com2;
    std::optional<QString> log; // the session log's file as given; no value without --log
    bool demo = false;
    SimulatedDevice::Behaviour demoBehaviour;
};

inline constexpr char kApplicationName[] = "rs232c-tester";
inline constexpr char kApplicationVersion[] = RS232C_VERSION;

// arguments[0] is the program itself. Qt's own options (-platform, -style, -qwindowgeometry, ...)
// are passed over here: QApplication takes them from the same command line.
CommandLine parseCommandLine(const QStringList& arguments);

// The text --help prints. Uses the program's path, so an application object must exist.
QString commandLineHelp();

// Maps ports 1 and 2 as the command line says. In demo mode it starts the two simulated devices
// the ports are mapped to; they must live as long as any window may open a port.
std::vector<std::unique_ptr<SimulatedDevice>> mapPorts(const CommandLine& options);
