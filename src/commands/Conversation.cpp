#include "commands/Conversation.h"

#include "codec/ControlCharacters.h"
#include "codec/FrameCheck.h"
#include "protocols/Consoles.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using Consoles = MonitorForms::Consoles;
using std::chrono::duration_cast;
using std::chrono::microseconds;

// The longest frame tried against every message length the User Define lists could have framed.
constexpr qsizetype kLongestUserDefFrame = 512;

bool reads(Consoles consoles, codec::FrameKind kind)
{
    switch (consoles) {
    case Consoles::Any:
        return kind != codec::FrameKind::Other;
    case Consoles::Loader:
        return kind == codec::FrameKind::Loader;
    case Consoles::Dedicated:
        return kind == codec::FrameKind::Dedicated;
    case Consoles::UserDefine:
        break;
    }
    return false;
}

// The lone words a device answers with: ACK or NAK, alone or before the Loader's EOT, and EOT.
QString replyForm(const QByteArray& bytes)
{
    if (bytes.size() == 1 && bytes[0] == codec::kEot)
        return QStringLiteral("eot");
    const bool word = bytes.size() == 1 || (bytes.size() == 2 && bytes[1] == codec::kEot);
    if (word && bytes[0] == codec::kAck)
        return QStringLiteral("ack");
    if (word && bytes[0] == codec::kNak)
        return QStringLiteral("nak");
    return {};
}

// The User Define lists' control character of a header or tail, none when absent.
std::optional<char> listedControl(const QString& text)
{
    if (text.size() == 4)
        return std::nullopt;
    return char(text.mid(4, 2).toInt());
}

// True when the lists frame some message as exactly bytes; false when none does. The frame is
// built for every message that fits between header and tail, so the lists' own builder is the
// only rule.
bool userDefFrames(const UserDefSelections& selections, const QByteArray& bytes)
{
    const std::optional<char> header = listedControl(selections.header);
    const qsizetype from = header ? 1 : 0;
    if (bytes.size() > kLongestUserDefFrame || (header && !bytes.startsWith(*header)))
        return false;
    ProgramState scratch;
    for (qsizetype size = 0; from + size <= bytes.size(); ++size) {
        if (buildUserDefFrame(selections, bytes.mid(from, size), scratch) == bytes)
            return true;
    }
    return false;
}

// True when bytes have the lists' header and tail where they belong, whatever the checks say.
bool userDefShaped(const UserDefSelections& selections, const QByteArray& bytes)
{
    const std::optional<char> header = listedControl(selections.header);
    const std::optional<char> tail = listedControl(selections.tail);
    if (header && !bytes.startsWith(*header))
        return false;
    return !tail || bytes.indexOf(*tail, header ? 1 : 0) >= 0;
}

ConsoleKind consoleOf(const QString& form, Consoles consoles)
{
    if (form == QLatin1String("loader") || consoles == Consoles::Loader)
        return ConsoleKind::Loader;
    if (form == QLatin1String("dedicated") || consoles == Consoles::Dedicated)
        return ConsoleKind::Dedicated;
    // A frame of no console's form is what the User Define console sends.
    return ConsoleKind::UserDefine;
}

QString millisecondsOrDash(const std::vector<microseconds>& sorted, double share)
{
    if (sorted.empty())
        return QStringLiteral("-");
    const auto rank = qsizetype(std::ceil(share * double(sorted.size())));
    return millisecondsText(sorted[size_t(std::clamp<qsizetype>(rank, 1, sorted.size()) - 1)]);
}

} // namespace

std::optional<MonitorForms::Consoles> MonitorForms::consolesFromName(QStringView name)
{
    if (name == u"any")
        return Consoles::Any;
    if (name == u"loader")
        return Consoles::Loader;
    if (name == u"dedicated")
        return Consoles::Dedicated;
    if (name == u"userdef")
        return Consoles::UserDefine;
    return std::nullopt;
}

QString MonitorSummary::text() const
{
    QStringList counts;
    for (auto it = classes.cbegin(); it != classes.cend(); ++it)
        counts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    std::vector<microseconds> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    return QStringLiteral("frames host> %1 <device %2, exchanges %3%4, latency median %5 p99 %6 "
                          "max %7")
        .arg(hostFrames)
        .arg(deviceFrames)
        .arg(exchanges)
        .arg(counts.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(counts.join(u", ")),
             millisecondsOrDash(sorted, 0.5), millisecondsOrDash(sorted, 0.99),
             millisecondsOrDash(sorted, 1.0));
}

ConversationReader::ConversationReader(const MonitorForms& forms, microseconds gap,
                                       const QString& device)
    : m_forms(forms), m_gap(gap), m_device(device)
{
}

void ConversationReader::name(const MonitorForms& forms, MonitorFrame* frame)
{
    const QByteArray& bytes = frame->bytes;
    frame->right.reset();
    if (forms.consoles == Consoles::UserDefine) {
        if (userDefFrames(forms.selections, bytes)) {
            frame->form = QStringLiteral("userdef");
            frame->right = true;
            return;
        }
    } else {
        const codec::FrameCheck check = codec::checkFrame(bytes);
        if (reads(forms.consoles, check.kind)) {
            frame->form = check.kind == codec::FrameKind::Loader ? QStringLiteral("loader")
                                                                 : QStringLiteral("dedicated");
            frame->right = check.right;
            return;
        }
    }
    frame->form = replyForm(bytes);
    if (!frame->form.isEmpty())
        return;
    if (forms.consoles == Consoles::UserDefine && userDefShaped(forms.selections, bytes)) {
        frame->form = QStringLiteral("userdef");
        frame->right = false;
        return;
    }
    frame->form = QStringLiteral("other");
}

bool ConversationReader::endsByForm(const QByteArray& bytes) const
{
    if (m_forms.consoles == Consoles::UserDefine)
        return false;
    const char first = bytes.front();
    const char last = bytes.back();
    if (bytes.size() == 1 && first == codec::kEot)
        return true;
    const bool word = first == codec::kAck || first == codec::kNak;
    if (m_forms.consoles == Consoles::Dedicated)
        return word && bytes.size() == 1;
    return (first == codec::kStx && last == codec::kEtx && bytes.size() > 1) ||
           (word && bytes.size() == 2 && last == codec::kEot);
}

void ConversationReader::take(MonitorSide from, Time at, QByteArrayView bytes)
{
    closeQuiet(at);
    const MonitorSide other = from == MonitorSide::Host ? MonitorSide::Device : MonitorSide::Host;
    if (!bytes.isEmpty())
        close(other);
    std::optional<MonitorFrame>& open = m_open[int(from)];
    for (const char byte : bytes) {
        if (!open) {
            open = MonitorFrame{from, at, at, {}, {}, {}};
        }
        open->bytes.append(byte);
        open->last = at;
        if (endsByForm(open->bytes))
            close(from);
    }
}

void ConversationReader::closeQuiet(Time now)
{
    // The earlier frame first, so that a frame and its reply are read in their order.
    const auto quiet = [&](MonitorSide side) {
        const std::optional<MonitorFrame>& open = m_open[int(side)];
        return open && now - open->last >= m_gap;
    };
    const bool hostFirst = !m_open[1] || (m_open[0] && m_open[0]->first <= m_open[1]->first);
    for (const MonitorSide side : hostFirst ? std::array{MonitorSide::Host, MonitorSide::Device}
                                            : std::array{MonitorSide::Device, MonitorSide::Host}) {
        if (quiet(side))
            close(side);
    }
}

std::optional<ConversationReader::Time> ConversationReader::quietAt() const
{
    std::optional<Time> earliest;
    for (const std::optional<MonitorFrame>& open : m_open) {
        if (open && (!earliest || open->last + m_gap < *earliest))
            earliest = open->last + m_gap;
    }
    return earliest;
}

void ConversationReader::finish()
{
    const bool hostFirst = !m_open[1] || (m_open[0] && m_open[0]->first <= m_open[1]->first);
    close(hostFirst ? MonitorSide::Host : MonitorSide::Device);
    close(hostFirst ? MonitorSide::Device : MonitorSide::Host);
    if (m_unanswered)
        pair(*m_unanswered, nullptr, m_unanswered->last);
    m_unanswered.reset();
}

QList<MonitorEvent> ConversationReader::takeEvents()
{
    return std::exchange(m_events, {});
}

void ConversationReader::close(MonitorSide side)
{
    std::optional<MonitorFrame>& open = m_open[int(side)];
    if (!open)
        return;
    MonitorFrame frame = std::move(*open);
    open.reset();
    name(m_forms, &frame);
    if (side == MonitorSide::Host) {
        ++m_summary.hostFrames;
        if (m_unanswered)
            pair(*m_unanswered, nullptr, frame.first);
        m_events.append(MonitorEvent{frame, std::nullopt, {}});
        m_unanswered = std::move(frame);
        return;
    }
    ++m_summary.deviceFrames;
    if (!m_unanswered) {
        m_events.append(MonitorEvent{frame, std::nullopt, {}});
        return;
    }
    pair(*m_unanswered, &frame, frame.last);
    m_unanswered.reset();
}

void ConversationReader::pair(const MonitorFrame& frame, const MonitorFrame* reply, Time until)
{
    ExchangeRecord record;
    record.time = frame.first;
    record.console = consoleOf(frame.form, m_forms.consoles);
    record.device = m_device;
    record.settings = m_settings;
    record.frame = frame.bytes;
    if (reply) {
        record.reply = reply->bytes;
        record.latency =
            std::max(microseconds(0), duration_cast<microseconds>(reply->first - frame.last));
        m_summary.latencies.push_back(*record.latency);
    }
    record.window = std::max(microseconds(0), duration_cast<microseconds>(until - frame.last));
    ++m_summary.exchanges;
    ++m_summary.classes[record.className()];
    m_events.append(
        MonitorEvent{reply ? std::optional<MonitorFrame>(*reply) : std::nullopt, record, {}});
}
