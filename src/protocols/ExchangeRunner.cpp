#include "protocols/ExchangeRunner.h"

ExchangeRunner::ExchangeRunner(SerialControl& port, ProgramState& state, QObject* parent)
    : QObject(parent), m_port(port), m_state(state), m_transaction(port)
{
    m_transaction.setAfterSettings([this] {
        const QString warning = rateWarning(m_console, m_state.BaudRate);
        if (!warning.isEmpty() && m_showWarning)
            m_showWarning(warning);
    });
    connect(&m_transaction, &Transaction::finished, this, [this] {
        settle();
        emit finished();
    });
}

bool ExchangeRunner::begin(const ConsoleRequest& request)
{
    const TransactionPlan plan = consolePlan(request, m_state);
    m_console = request.kind;
    if (m_transaction.begin(plan))
        return true;
    settle();
    return false;
}

void ExchangeRunner::run()
{
    m_transaction.run();
}

bool ExchangeRunner::abort(const QString& reason)
{
    // A running exchange has handed its frame to the port: it goes on record.
    const bool cut = m_transaction.running();
    m_transaction.abort();
    if (cut)
        settle(reason);
    return cut;
}

void ExchangeRunner::settle(const QString& interruption)
{
    m_record = ExchangeRecord::of(m_console, m_transaction, m_port);
    if (!interruption.isEmpty())
        m_record.interrupt(interruption);
    m_logError.clear();
    if (m_log && !m_log->append(m_record.jsonLine()))
        m_logError = m_log->lastError();
    // What the line says once about a network server (settings that are the server's, or that
    // it left unconfirmed) goes the way of the rate warning.
    for (const QString& notice : m_port.takeNotices()) {
        if (m_showWarning)
            m_showWarning(notice);
    }
}
