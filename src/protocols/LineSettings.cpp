#include "protocols/LineSettings.h"

std::optional<int> commPortFromPortNo(const QString& portNo)
{
    bool ok = false;
    const int number = portNo.trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return number == 1 ? 1 : 2;
}

TransactionPlan chosenLinePlan(const QByteArray& frame, int polls, const ProgramState& state)
{
    TransactionPlan plan;
    plan.frame = frame;
    plan.commPort = commPortFromPortNo(state.PortNo);
    plan.portText = state.PortNo;
    plan.settings = settingsForBaudRate(state.BaudRate);
    plan.rule =
        ReceiveRule{.polls = polls, .stopAtEot = false, .extraReads = state.BccFlag ? 2 : 0};
    return plan;
}

std::optional<QString> settingsForBaudRate(qint32 baudRate)
{
    for (qint32 rate : kBaudRates) {
        if (rate == baudRate)
            return QStringLiteral("%1, n, 8, 1").arg(rate);
    }
    return std::nullopt;
}
