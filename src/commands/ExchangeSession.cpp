#include "commands/ExchangeSession.h"

#include "commands/ExitStatus.h"
#include "commands/Output.h"
#include "device/DemoDevices.h"

#include <QEventLoop>
#include <QTimer>

namespace {

const QString kJson = QStringLiteral("json");
const QString kLog = QStringLiteral("log");

} // namespace

ExchangeSession::ExchangeSession(CommandParser& parser) : m_parser(parser)
{
    parser.addOption(QCommandLineOption(kJson, QStringLiteral("One JSON object a line instead "
                                                              "of text (fields in the README).")));
    parser.addOption(
        QCommandLineOption(kLog,
                           QStringLiteral("Appends a JSON line for every exchange to the file "
                                          "(the same fields as --json)."),
                           QStringLiteral("file")));
    parser.addOptions(DemoDevices::options());
}

std::optional<int> ExchangeSession::start()
{
    SimulatedDevice::Behaviour behaviour;
    const QString refusal = DemoDevices::readOptions(m_parser, &behaviour);
    if (!refusal.isEmpty())
        return m_parser.refuse(refusal);
    if (m_parser.isSet(kLog)) {
        QString why;
        m_log = SessionLog::open(m_parser.value(kLog), &why);
        if (!m_log) {
            Output::error(QStringLiteral("the log cannot be opened: %1").arg(why));
            return ExitStatus::kCannotCreate;
        }
    }
    if (DemoDevices::requested(m_parser))
        m_demoDevices = DemoDevices::start(behaviour);
    return std::nullopt;
}

bool ExchangeSession::json() const
{
    return m_parser.isSet(kJson);
}

ExchangeRecord ExchangeSession::exchange(const ExchangeSetup& setup, ProgramState& state)
{
    setup.apply(state);
    const ConsoleKind kind = setup.request.kind;
    m_transaction.setAfterSettings([kind, &state] {
        const QString warning = rateWarning(kind, state.BaudRate);
        if (!warning.isEmpty())
            Output::error(warning);
    });
    if (m_transaction.begin(consolePlan(setup.request, state))) {
        QEventLoop loop;
        QObject::connect(&m_transaction, &Transaction::finished, &loop, &QEventLoop::quit);
        QObject::connect(&m_signals, &SignalWatcher::caught, &loop, &QEventLoop::quit);
        m_transaction.run();
        if (caughtSignal() == 0)
            loop.exec();
        // Closes the port of an exchange the signal ended; a finished one is left as it is.
        m_transaction.abort();
    }
    ExchangeRecord record = ExchangeRecord::of(kind, m_transaction, m_port);
    if (m_transaction.state() == Transaction::State::Idle)
        record.interrupt(caughtSignal());
    if (m_log && !m_log->append(record.jsonLine()))
        m_logError = m_log->lastError();
    return record;
}

bool ExchangeSession::pause(int ms)
{
    if (caughtSignal() == 0 && ms > 0) {
        QEventLoop loop;
        QObject::connect(&m_signals, &SignalWatcher::caught, &loop, &QEventLoop::quit);
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return caughtSignal() == 0;
}
