#include "consoles/ExchangeRecord.h"

#include "codec/Codec.h"
#include "platform/PortMap.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonValue>

#include <cstring>

namespace {

using std::chrono::microseconds;

QDateTime utcMilliseconds(std::chrono::system_clock::time_point time)
{
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(since.count(), Qt::UTC);
}

// The microseconds within the second, as six digits.
QString microsecondDigits(std::chrono::system_clock::time_point time)
{
    const auto since = std::chrono::duration_cast<microseconds>(time.time_since_epoch());
    return QStringLiteral("%1").arg(since.count() % 1'000'000, 6, 10, QLatin1Char('0'));
}

} // namespace

ExchangeRecord ExchangeRecord::of(ConsoleKind console, const Transaction& transaction,
                                  const SerialControl& port)
{
    const TransactionPlan& plan = transaction.plan();
    ExchangeRecord record;
    record.time = transaction.startedAt();
    record.console = console;
    if (plan.commPort)
        record.device = PortMap::device(*plan.commPort);
    record.settings = port.settings().remove(QLatin1Char(' '));
    record.frame = plan.frame;
    record.reply = transaction.reply();
    record.latency = transaction.latency();
    record.window = transaction.windowLength();
    record.polls = transaction.polls();
    if (const std::optional<SerialError> error = transaction.error()) {
        record.outcome = Outcome::PortFailure;
        record.error = error->reason();
    }
    return record;
}

void ExchangeRecord::interrupt(int signal)
{
    outcome = Outcome::Interrupted;
    error = endedBySignal(signal);
}

QString ExchangeRecord::word() const
{
    switch (outcome) {
    case Outcome::Replied:
        break;
    case Outcome::PortFailure:
        return QStringLiteral("Port Disorder");
    case Outcome::Interrupted:
        return QStringLiteral("Interrupted");
    }
    return replyWord(replyClass(), console);
}

QString ExchangeRecord::className() const
{
    switch (outcome) {
    case Outcome::Replied:
        break;
    case Outcome::PortFailure:
        return QStringLiteral("port_failure");
    case Outcome::Interrupted:
        return QStringLiteral("interrupted");
    }
    return replyClassName(replyClass());
}

QString ExchangeRecord::timeText() const
{
    return utcMilliseconds(time).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.")) +
           microsecondDigits(time) + QLatin1Char('Z');
}

QString ExchangeRecord::timingNote() const
{
    const QString when =
        utcMilliseconds(time).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.")) +
        microsecondDigits(time);
    return latency ? QStringLiteral("%1, latency %2").arg(when, millisecondsText(*latency))
                   : QStringLiteral("%1, no reply").arg(when);
}

QJsonObject ExchangeRecord::toJson() const
{
    QJsonObject object{
        {QStringLiteral("time"), timeText()},
        {QStringLiteral("console"), consoleName(console)},
        {QStringLiteral("device"), device},
        {QStringLiteral("settings"), settings},
        {QStringLiteral("frame_hex"), codec::AscConvert(frame)},
        {QStringLiteral("reply_hex"), codec::AscConvert(reply)},
        {QStringLiteral("word"), word()},
        {QStringLiteral("class"), className()},
        {QStringLiteral("latency_us"),
         latency ? QJsonValue(qint64(latency->count())) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("window_us"), qint64(window.count())},
        {QStringLiteral("polls"), polls},
    };
    if (outcome != Outcome::Replied)
        object.insert(QStringLiteral("error"), error);
    return object;
}

QString endedBySignal(int signal)
{
    const char* name = sigabbrev_np(signal);
    return QStringLiteral("ended by SIG%1")
        .arg(name ? QString::fromLatin1(name) : QString::number(signal));
}

QByteArray ExchangeRecord::jsonLine() const
{
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

QString millisecondsText(std::chrono::microseconds duration)
{
    return QStringLiteral("%1 ms").arg(double(duration.count()) / 1000.0, 0, 'f', 3);
}
