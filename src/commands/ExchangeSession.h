#pragma once
// What send and run share around their exchanges: the --json, --log and --demo options, the
// session log and the demo devices they open, the signals that end a command, and the exchanges
// run through the exchange runner the console windows use too, on the event loop.

#include "commands/CommandParser.h"
#include "commands/SignalWatcher.h"
#include "device/SimulatedDevice.h"
#include "engine/SessionLog.h"
#include "plans/ExchangeSetup.h"
#include "protocols/ExchangeRecord.h"
#include "protocols/ExchangeRunner.h"
#include "protocols/ProgramState.h"
#include "serial/SerialControl.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class ExchangeSession {
public:
    // Adds --json, --log, --demo, --demo-reply and --demo-delay to the command's options. The
    // exchanges run on the program-wide values of state, which outlives the session.
    ExchangeSession(CommandParser& parser, ProgramState& state);

    // After the parse: reads the demo options, opens the log and starts the demo devices. A
    // value when the command ends at once with it: the usage status for a refused option, 73
    // for a log that cannot be opened.
    std::optional<int> start();

    bool json() const;
    // Ports 1 and 2 are the demo's simulated devices.
    bool demo() const { return !m_demoDevices.empty(); }

    // Runs one exchange as setup says, on the program-wide values the consoles share (a
    // Dedicated frame's BccFlag holds for the User Define exchanges after it, as in the
    // windows). Its record is in the log when this returns. A signal ends the exchange with the
    // port closed, and the record says so.
    ExchangeRecord exchange(const ExchangeSetup& setup);
    // Waits ms on the event loop; false when a signal came (or had come) first.
    bool pause(int ms);
    // The runner of the exchanges, for a plan's run, and the watcher of the signals that end it.
    ExchangeRunner& runner() { return m_runner; }
    const SignalWatcher& signalWatcher() const { return m_signals; }
    // The signal that ends the command; 0 while none came.
    int caughtSignal() const { return m_signals.caughtSignal(); }
    // Why the latest record could not be logged; empty when it was, or no log is kept.
    QString logError() const { return m_logError; }

private:
    CommandParser& m_parser;
    SignalWatcher m_signals;
    SerialControl m_port;
    ExchangeRunner m_runner;
    std::unique_ptr<SessionLog> m_log;
    std::vector<std::unique_ptr<SimulatedDevice>> m_demoDevices;
    QString m_logError;
};
