#include "protocols/DedicatedProtocol.h"

#include "protocols/LineSettings.h"

namespace {
constexpr char kEnq = 0x05;
constexpr char kEot = 0x04;
constexpr int kDedicatedPolls = 500;
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
    const QByteArray frame = dedicatedFrame(message, withCheck, state);
    return chosenLinePlan(frame, kDedicatedPolls, state);
}
