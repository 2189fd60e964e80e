#include "protocols/ExchangeRecord.h"

#include "codec/Codec.h"
#include "codec/ControlCharacters.h"
#include "codec/FrameCheck.h"
#include "serial/PortMap.h"

#include <QDateTime>
#include <QJsonArray>
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
    record.lineState = port.lineState();
    if (const std::optional<SerialError> error = transaction.error()) {
        record.outcome = Outcome::PortFailure;
        record.error = error->reason();
    }
    return record;
}

void ExchangeRecord::interrupt(const QString& reason)
{
    outcome = Outcome::Interrupted;
    error = reason;
}

ReplyCheck ExchangeRecord::replyCheck() const
{
    codec::FrameKind form = codec::FrameKind::Loader;
    QByteArrayView frame = reply;
    switch (console) {
    case ConsoleKind::Loader:
        if (frame.endsWith(codec::kEot))
            frame.chop(1);
        break;
    case ConsoleKind::Dedicated:
        form = codec::FrameKind::Dedicated;
        break;
    case ConsoleKind::UserDefine:
        return ReplyCheck::None;
    }
    const codec::FrameCheck check = codec::checkFrame(frame);
    if (check.kind != form || check.digitsFrom < 0)
        return ReplyCheck::None;
    return check.right ? ReplyCheck::Ok : ReplyCheck::Bad;
}

QString replyCheckName(ReplyCheck check)
{
    switch (check) {
    case ReplyCheck::Ok:
        return QStringLiteral("ok");
    case ReplyCheck::Bad:
        return QStringLiteral("bad");
    case ReplyCheck::None:
        break;
    }
    return QStringLiteral("none");
}

QJsonValue replyCheckJson(ReplyCheck check)
{
    return check == ReplyCheck::None ? QJsonValue(QJsonValue::Null)
                                     : QJsonValue(replyCheckName(check));
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
    // Calendar arithmetic on the clock itself, digits put in place: a record is written for
    // every exchange, and a QDateTime round trip costs more than the rest of the line.
    using namespace std::chrono;
    const auto at = floor<microseconds>(time);
    const auto day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss clock{at - day};
    char text[] = "0000-00-00T00:00:00.000000Z";
    const auto put = [&text](int offset, int digits, long long value) {
        for (int i = offset + digits - 1; i >= offset; --i, value /= 10)
            text[i] = char('0' + value % 10);
    };
    put(0, 4, int(date.year()));
    put(5, 2, unsigned(date.month()));
    put(8, 2, unsigned(date.day()));
    put(11, 2, clock.hours().count());
    put(14, 2, clock.minutes().count());
    put(17, 2, clock.seconds().count());
    put(20, 6, clock.subseconds().count());
    return QString::fromLatin1(text, sizeof text - 1);
}

QString ExchangeRecord::timingNote() const
{
    const QString when =
        utcMilliseconds(time).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.")) +
        microsecondDigits(time);
    QString note = latency ? QStringLiteral("%1, latency %2").arg(when, millisecondsText(*latency))
                           : QStringLiteral("%1, no reply").arg(when);
    if (const ReplyCheck check = replyCheck(); check != ReplyCheck::None)
        note += QStringLiteral(", reply check %1").arg(replyCheckName(check));
    if (!lineState.isEmpty())
        note += QStringLiteral(", line errors: %1").arg(lineState.join(QStringLiteral(", ")));
    return note;
}

QJsonObject ExchangeRecord::toJson() const
{
    // Inserted in the object's own (sorted) key order, each at its end.
    QJsonObject object;
    object.insert(QLatin1String("class"), className());
    object.insert(QLatin1String("console"), consoleName(console));
    object.insert(QLatin1String("device"), device);
    if (outcome != Outcome::Replied)
        object.insert(QLatin1String("error"), error);
    object.insert(QLatin1String("frame_hex"), codec::AscConvert(frame));
    object.insert(QLatin1String("latency_us"),
                  latency ? QJsonValue(qint64(latency->count())) : QJsonValue(QJsonValue::Null));
    object.insert(QLatin1String("line_state"), QJsonArray::fromStringList(lineState));
    object.insert(QLatin1String("polls"), polls);
    object.insert(QLatin1String("reply_check"), replyCheckJson(replyCheck()));
    object.insert(QLatin1String("reply_hex"), codec::AscConvert(reply));
    object.insert(QLatin1String("settings"), settings);
    object.insert(QLatin1String("time"), timeText());
    object.insert(QLatin1String("window_us"), qint64(window.count()));
    object.insert(QLatin1String("word"), word());
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
