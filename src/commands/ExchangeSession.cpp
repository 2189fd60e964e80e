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

ExchangeSession::ExchangeSession(CommandParser& parser, ProgramState& state)
    : m_parser(parser), m_runner(m_port, state)
{
    m_runner.setWarning([](const QString& warning) { Output::error(warning); });
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
        m_runner.setLog(m_log.get());
    }
    if (DemoDevices::requested(m_parser))
        m_demoDevices = DemoDevices::start(behaviour);
    return std::nullopt;
}

bool ExchangeSession::json() const
{
    return m_parser.isSet(kJson);
}

ExchangeRecord ExchangeSession::exchange(const ExchangeSetup& setup)
{
    setup.apply(m_runner.state());
    if (m_runner.begin(setup.request)) {
        QEventLoop loop;
        QObject::connect(&m_runner, &ExchangeRunner::finished, &loop, &QEventLoop::quit);
        QObject::connect(&m_signals, &SignalWatcher::caught, &loop, &QEventLoop::quit);
        m_runner.run();
        if (caughtSignal() == 0)
            loop.exec();
        // Ends an exchange the signal cut short; a finished one is left as it is.
        m_runner.abort(endedBySignal(caughtSignal()));
    }
    if (!m_runner.logError().isEmpty())
        m_logError = m_runner.logError();
    return m_runner.record();
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
