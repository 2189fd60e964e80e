#include "protocols/LoaderProtocol.h"

#include "codec/ControlCharacters.h"

namespace {
using codec::kEtx;
using codec::kStx;
} // namespace

QByteArray loaderFrame(const QByteArray& message, ProgramState& state)
{
    state.BccSource = message;
    state.runBccMake();
    return kStx + message + state.BccCode[0] + kEtx;
}

TransactionPlan loaderPlan(const QByteArray& message, ProgramState& state)
{
    TransactionPlan plan;
    plan.commPort = 1;
    plan.portText = QStringLiteral("1");
    plan.settings = QStringLiteral("38400,n,8,1");
    plan.frame = loaderFrame(message, state);
    plan.rule = ReceiveRule{.polls = 501, .stopAtEot = true, .extraReads = 0};
    return plan;
}
