#include "device/DeviceAnswers.h"

#include "codec/ControlCharacters.h"
#include "device/DeviceFrames.h"

namespace {

using codec::kAck;
using codec::kNak;

QString modeName(DeviceBehaviour::Mode mode)
{
    switch (mode) {
    case DeviceBehaviour::Mode::Protocol:
        return QStringLiteral("protocol");
    case DeviceBehaviour::Mode::Ack:
        return QStringLiteral("ack");
    case DeviceBehaviour::Mode::Nak:
        return QStringLiteral("nak");
    case DeviceBehaviour::Mode::Silent:
        return QStringLiteral("silent");
    case DeviceBehaviour::Mode::Bytes:
        return QStringLiteral("hex");
    }
    return {};
}

QByteArray modeReply(const QByteArray& frame, const DeviceBehaviour& behaviour)
{
    switch (behaviour.mode) {
    case DeviceBehaviour::Mode::Protocol:
        return DeviceFrames::protocolReply(frame, behaviour.consoles);
    case DeviceBehaviour::Mode::Ack:
        return QByteArray(1, kAck);
    case DeviceBehaviour::Mode::Nak:
        return QByteArray(1, kNak);
    case DeviceBehaviour::Mode::Silent:
        return {};
    case DeviceBehaviour::Mode::Bytes:
        return behaviour.bytes;
    }
    return {};
}

} // namespace

DeviceAnswers::Answer DeviceAnswers::answer(const QByteArray& frame)
{
    Answer answer;
    QByteArray reply;
    if (const std::optional<qsizetype> index = AnswerRules::find(m_rules, frame)) {
        const AnswerRule& rule = m_rules[*index];
        answer.rule = int(*index);
        answer.name = rule.name;
        answer.delayMs = rule.delayMs.value_or(m_behaviour.delayMs);
        reply = rule.reply;
    } else {
        answer.name = modeName(m_behaviour.mode);
        answer.delayMs = m_behaviour.delayMs;
        reply = modeReply(frame, m_behaviour);
    }
    const DeviceFaults::Outcome outcome = m_faults.apply(reply);
    answer.reply = outcome.reply;
    answer.faults = outcome.applied;
    if (outcome.applied.contains(QLatin1String("split")))
        answer.splitMs = m_faults.settings().splitMs;
    return answer;
}
