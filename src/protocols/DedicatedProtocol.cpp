#include "protocols/DedicatedProtocol.h"

#include "codec/ControlCharacters.h"
#include "protocols/LineSettings.h"

namespace {
using codec::kEnq;
using codec::kEot;
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
