#include "plans/Expectation.h"

#include "codec/Codec.h"

#include <QStringList>

bool Expectation::isMetBy(const ExchangeRecord& record) const
{
    if (record.outcome != ExchangeRecord::Outcome::Replied)
        return false;
    if (replyClass && record.replyClass() != *replyClass)
        return false;
    if (reply && record.reply != *reply)
        return false;
    if (replyCheck && record.replyCheck() != *replyCheck)
        return false;
    return !maxLatency || (record.latency && *record.latency <= *maxLatency);
}

QString Expectation::describe() const
{
    QStringList facts;
    if (replyClass)
        facts << QStringLiteral("class %1").arg(replyClassName(*replyClass));
    if (reply)
        facts << (reply->isEmpty() ? QStringLiteral("no reply bytes")
                                   : QStringLiteral("reply %1").arg(codec::AscConvert(*reply)));
    if (replyCheck)
        facts << QStringLiteral("reply check %1").arg(replyCheckName(*replyCheck));
    if (maxLatency)
        facts << QStringLiteral("latency <= %1").arg(millisecondsText(*maxLatency));
    return facts.isEmpty() ? QStringLiteral("any reply") : facts.join(QStringLiteral(", "));
}

QString Expectation::describe(const ExchangeRecord& record)
{
    if (record.outcome != ExchangeRecord::Outcome::Replied)
        return QStringLiteral("%1: %2").arg(record.word(), record.error);
    QStringList facts{QStringLiteral("class %1").arg(record.className())};
    if (record.reply.isEmpty())
        facts << QStringLiteral("no reply bytes");
    else
        facts << QStringLiteral("reply %1").arg(codec::AscConvert(record.reply));
    if (const ReplyCheck check = record.replyCheck(); check != ReplyCheck::None)
        facts << QStringLiteral("reply check %1").arg(replyCheckName(check));
    if (record.latency)
        facts << QStringLiteral("latency %1").arg(millisecondsText(*record.latency));
    return facts.join(QStringLiteral(", "));
}
