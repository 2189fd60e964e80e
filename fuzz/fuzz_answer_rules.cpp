// The simulator's answer rules reader. Any document is either read whole or refused with a reason
// that says where (a line and column, or a key's path); a document that was read, written back
// by the target, reads again as the same rules; each rule matches what it names.

#include "FuzzSupport.h"
#include "device/AnswerRules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using fuzz::require;

namespace {

QString consolesName(DeviceFrames::Consoles consoles)
{
    switch (consoles) {
    case DeviceFrames::Consoles::Loader:
        return QStringLiteral("loader");
    case DeviceFrames::Consoles::Dedicated:
        return QStringLiteral("dedicated");
    case DeviceFrames::Consoles::Any:
        break;
    }
    return QStringLiteral("any");
}

QByteArray writeBack(const QList<AnswerRule>& rules)
{
    QJsonArray array;
    for (const AnswerRule& rule : rules) {
        QJsonObject object{{QStringLiteral("name"), rule.name}};
        const QString bytes = QString::fromLatin1(rule.bytes.toHex(' '));
        switch (rule.match) {
        case AnswerRule::Match::Frame:
            object.insert(QStringLiteral("frame"), bytes);
            break;
        case AnswerRule::Match::Prefix:
            object.insert(QStringLiteral("prefix"), bytes);
            break;
        case AnswerRule::Match::WrongCheck:
            object.insert(QStringLiteral("wrong_check"), consolesName(rule.consoles));
            break;
        }
        if (rule.reply.isEmpty())
            object.insert(QStringLiteral("silent"), true);
        else
            object.insert(QStringLiteral("reply"), QString::fromLatin1(rule.reply.toHex()));
        if (rule.delayMs)
            object.insert(QStringLiteral("delay_ms"), *rule.delayMs);
        array.append(object);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("rules"), array}}).toJson();
}

bool sameRules(const QList<AnswerRule>& a, const QList<AnswerRule>& b)
{
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(), [](const AnswerRule& x, const AnswerRule& y) {
            return x.name == y.name && x.match == y.match && x.bytes == y.bytes &&
                   x.consoles == y.consoles && x.reply == y.reply && x.delayMs == y.delayMs;
        });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const AnswerRules::Reading reading = AnswerRules::read(fuzz::inputBytes(data, size));
    if (!reading.refusal.isEmpty()) {
        require(reading.rules.isEmpty(), "a refused document gives no rules");
        return 0;
    }
    for (const AnswerRule& rule : reading.rules) {
        require(!rule.delayMs || (*rule.delayMs >= 0 && *rule.delayMs <= AnswerRules::kMaxDelayMs),
                "a delay is within its bounds");
        if (rule.match == AnswerRule::Match::Frame) {
            require(!rule.bytes.isEmpty() && rule.matches(rule.bytes), "a frame rule matches it");
            require(!rule.matches(rule.bytes + 'x'), "a frame rule matches that frame only");
        } else if (rule.match == AnswerRule::Match::Prefix) {
            require(rule.matches(rule.bytes + "any tail"), "a prefix rule matches what follows");
        }
    }
    const AnswerRules::Reading again = AnswerRules::read(writeBack(reading.rules));
    require(again.refusal.isEmpty() && sameRules(again.rules, reading.rules),
            "rules written back read as the same rules");
    return 0;
}
