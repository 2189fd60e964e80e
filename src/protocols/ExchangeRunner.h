#pragma once
// The one way an exchange runs, for the console windows and the commands alike: a console's
// request becomes its plan through the consoles' table, the engine runs it on the event loop,
// and every exchange, finished, failed or cut short, leaves one record that goes to the session
// log before the next exchange begins. The caller says only how a rate warning is shown (a box
// in a window, standard error in a command) and shows what the record says.

#include "engine/SessionLog.h"
#include "engine/Transaction.h"
#include "protocols/Consoles.h"
#include "protocols/ExchangeRecord.h"
#include "protocols/ProgramState.h"
#include "serial/SerialControl.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class ExchangeRunner : public QObject {
    Q_OBJECT

public:
    // The exchanges run on port with the program-wide values of state; both outlive the runner.
    ExchangeRunner(SerialControl& port, ProgramState& state, QObject* parent = nullptr);

    // The log every record goes to; none (nullptr) unless one was asked for.
    void setLog(SessionLog* log) { m_log = log; }
    // Shows the warning the doubtful rate draws, between Settings and InputLen, and what a
    // network line has to say once about its server, after the exchange.
    void setWarning(std::function<void(const QString&)> show) { m_showWarning = std::move(show); }

    // Builds the console's plan of the request and takes the engine's steps up to Output.
    // False when the port failed: the exchange is over and its record made. Throws
    // SelectionError, before anything of the state changes or goes out, for a User Define
    // selection text that cannot be read.
    bool begin(const ConsoleRequest& request);
    // Runs the begun exchange on the event loop; finished() comes with its record made.
    void run();
    // Ends a running exchange now, with the port closed; its record is made, interrupted for
    // the reason given ("ended by END"). False when no exchange was running.
    bool abort(const QString& reason);

    bool running() const { return m_transaction.running(); }
    // The frame of the latest exchange, as it went out.
    QByteArray frame() const { return m_transaction.plan().frame; }
    // The record of the latest exchange that ended.
    const ExchangeRecord& record() const { return m_record; }
    // Why that record could not be written to the log; empty when it was, or no log is kept.
    QString logError() const { return m_logError; }
    ProgramState& state() const { return m_state; }
    Transaction& transaction() { return m_transaction; }

signals:
    // The exchange run() drove has ended by itself, finished or failed; record() is made.
    void finished();

private:
    // Makes the record of the latest exchange, interrupted for a reason when one is given, and
    // writes it to the log.
    void settle(const QString& interruption = {});

    SerialControl& m_port;
    ProgramState& m_state;
    Transaction m_transaction;
    SessionLog* m_log = nullptr;
    std::function<void(const QString&)> m_showWarning;
    ConsoleKind m_console = ConsoleKind::Loader;
    ExchangeRecord m_record;
    QString m_logError;
};
