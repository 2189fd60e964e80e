#include "consoles/dedicated/DedicatedProtocol.h"

#include "console/LineSettings.h"

namespace {
constexpr char kEnq = 0x05;
constexpr char kEot = 0x04;
} // namespace

QByteArray dedicatedFrame(const QByteArray& message, bool withCheck, ProgramState& state)
{
    state.BccFlag = withCheck;
    QByteArray frame = kEnq + message + kEot;
    if (withCheck) {
        state.BccSource = message;
        state.runBccMake();
        frame += state.BccCode[1];
    }
    return frame;
}

TransactionPlan dedicatedPlan(const QByteArray& message, bool withCheck, ProgramState& state)
{
    TransactionPlan plan;
    plan.frame = dedicatedFrame(message, withCheck, state);
    plan.commPort = commPortFromPortNo(state.PortNo);
    plan.portText = state.PortNo;
    plan.settings = settingsForBaudRate(state.BaudRate);
    plan.rule = ReceiveRule{.polls = 500, .stopAtEot = false, .extraReads = state.BccFlag ? 2 : 0};
    return plan;
}
