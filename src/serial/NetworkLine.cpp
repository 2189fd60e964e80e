#include "serial/NetworkLine.h"

#include "serial/GensioLoop.h"

#include <QMetaObject>

#include <gensio/gensio.h>
#include <gensio/gensio_os_funcs_public.h>
#include <gensio/sergensio.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// How long opening waits for gensio to finish closing the previous connection of the line, so
// that a server taking one client at a time has let it go.
constexpr std::chrono::seconds kCloseLimit{1};
// How long a frame waits for the server to answer the settings of a fresh RFC 2217 connection.
// The answers come in small packets of their own; a frame sent before them makes the server's
// TCP hold the reply until this side acknowledges them (up to 40 ms of delayed ACK), which would
// be counted as the device's latency. A server that never answers costs this much once an open.
constexpr std::chrono::milliseconds kSettingsHold{100};

enum Setting { kBaud, kDataSize, kParity, kStopBits, kSettingCount };

unsigned parityCode(char parity)
{
    switch (parity) {
    case 'O':
        return SERGENSIO_PARITY_ODD;
    case 'E':
        return SERGENSIO_PARITY_EVEN;
    case 'M':
        return SERGENSIO_PARITY_MARK;
    case 'S':
        return SERGENSIO_PARITY_SPACE;
    default:
        return SERGENSIO_PARITY_NONE;
    }
}

char parityLetter(unsigned code)
{
    switch (code) {
    case SERGENSIO_PARITY_ODD:
        return 'O';
    case SERGENSIO_PARITY_EVEN:
        return 'E';
    case SERGENSIO_PARITY_MARK:
        return 'M';
    case SERGENSIO_PARITY_SPACE:
        return 'S';
    default:
        return 'N';
    }
}

// RFC 2217's stop-bit codes: 1, 2, and 3 for one and a half.
unsigned stopBitsCode(const NetworkLine::LineSettings& settings)
{
    if (settings.oneAndHalf)
        return 3;
    return settings.twoStopBits ? 2 : 1;
}

QString stopBitsText(unsigned code)
{
    return code == 3 ? QStringLiteral("1.5") : QString::number(code);
}

// What the server keeps other than asked, as "9600 baud, parity E"; empty when it took all.
QString keptText(const std::array<unsigned, kSettingCount>& asked,
                 const std::array<std::optional<unsigned>, kSettingCount>& got)
{
    QStringList kept;
    // A server reports the rate its UART really makes; UARTs tolerate a few percent.
    if (got[kBaud] && qAbs(qint64(*got[kBaud]) - asked[kBaud]) * 100 > qint64(asked[kBaud]) * 3)
        kept << QStringLiteral("%1 baud").arg(*got[kBaud]);
    if (got[kDataSize] && *got[kDataSize] != asked[kDataSize])
        kept << QStringLiteral("%1 data bits").arg(*got[kDataSize]);
    if (got[kParity] && *got[kParity] != asked[kParity])
        kept << QStringLiteral("parity %1").arg(QLatin1Char(parityLetter(*got[kParity])));
    if (got[kStopBits] && *got[kStopBits] != asked[kStopBits])
        kept << QStringLiteral("%1 stop bits").arg(stopBitsText(*got[kStopBits]));
    return kept.join(QStringLiteral(", "));
}

QString gensioText(int error)
{
    switch (error) {
    case GE_CONNREFUSE:
        return QStringLiteral("the connection was refused");
    case GE_REMCLOSE:
        return QStringLiteral("the server closed the connection");
    case GE_TIMEDOUT:
        return QStringLiteral("no answer from the server");
    case GE_NOTFOUND:
    case GE_UNKNOWN_NAME_ERROR:
    case GE_NAME_ERROR:
    case GE_NAME_INVALID:
        return QStringLiteral("host not found");
    default:
        return QString::fromUtf8(gensio_err_to_str(error));
    }
}

SerialError::Kind kindOf(int error)
{
    switch (error) {
    case GE_NOTFOUND:
    case GE_UNKNOWN_NAME_ERROR:
    case GE_NAME_ERROR:
    case GE_NAME_INVALID:
        return SerialError::Kind::NotFound;
    default:
        return SerialError::Kind::Io;
    }
}

} // namespace

// What the line and gensio's thread share about one connection. gensio's callbacks hold it
// through self until gensio has let the connection go; the line holds it while open and while
// it closes.
struct NetworkLine::Link {
    enum class State { Connecting, Open, Failed };

    std::mutex mutex;
    std::condition_variable changed;
    QString where; // the URL, for reasons
    bool rfc2217 = true;
    QString gensioName;
    gensio* io = nullptr;
    gensio_runner* starter = nullptr;
    std::shared_ptr<Link> self;
    State state = State::Connecting;
    bool opened = false;    // gensio reported the connection open (it must then be closed)
    bool abandoned = false; // the line closed: whatever comes now only ends the connection
    bool released = false;  // gensio has let the connection go
    Clock::time_point startedAt = Clock::now();
    SerialError::Kind failureKind = SerialError::Kind::Io;
    QString failure;
    bool vanished = false; // the failure came after the connection was open
    QByteArray received;
    bool fresh = true; // nothing handed over yet: what arrives is what came before
    bool readPaused = false;
    QByteArray outgoing;
    unsigned lineState = 0;
    QString settingsText;
    // A fresh RFC 2217 connection's output waits for the settings' answers (or kSettingsHold).
    bool held = false;
    Clock::time_point openedAt;
    std::array<unsigned, kSettingCount> asked{};
    std::array<std::optional<unsigned>, kSettingCount> answered{};
    // Wakes the line on its own thread: with true when the connection ended.
    std::function<void(bool ended)> notify;

    ~Link()
    {
        if (starter)
            gensio_os_funcs_free_runner(GensioLoop::os(), starter);
    }

    // With the mutex held: the connection failed. The line finds out at its next call; an open
    // connection that ends also wakes it through vanished.
    void fail(SerialError::Kind kind, const QString& reason)
    {
        if (state == State::Failed)
            return;
        vanished = state == State::Open;
        state = State::Failed;
        failureKind = kind;
        failure = where + QStringLiteral(": ") + reason;
        changed.notify_all();
        if (notify && vanished)
            notify(true);
    }

    // Lets gensio free the connection, from gensio's thread or after it is closed. The link may
    // go with it: nothing of it is touched after the last reference is dropped.
    void release()
    {
        std::shared_ptr<Link> last;
        gensio* freed = nullptr;
        {
            std::lock_guard lock(mutex);
            freed = std::exchange(io, nullptr);
            released = true;
            changed.notify_all();
            last = std::move(self);
        }
        if (freed)
            gensio_free(freed);
    }

    void sendSettings();
    static void start(gensio_runner*, void* data);
    static void openDone(gensio*, int error, void* data);
    static void closeDone(gensio*, void* data);
    static int event(gensio*, void* data, int event, int error, unsigned char* buf,
                     gensiods* length, const char* const*);
    template <int Which> static void settingDone(sergensio*, int error, unsigned value, void* data);
};

void NetworkLine::Link::start(gensio_runner*, void* data)
{
    auto* link = static_cast<Link*>(data);
    std::unique_lock lock(link->mutex);
    if (link->abandoned) {
        lock.unlock();
        link->release();
        return;
    }
    // The name is resolved here, on gensio's thread, so a slow name server holds up no window.
    const int error = str_to_gensio(link->gensioName.toUtf8().constData(), GensioLoop::os(),
                                    &Link::event, link, &link->io);
    if (error != 0) {
        link->fail(kindOf(error), gensioText(error));
        lock.unlock();
        link->release();
        return;
    }
    lock.unlock();
    const int openError = gensio_open(link->io, &Link::openDone, link);
    if (openError != 0) {
        lock.lock();
        link->fail(kindOf(openError), gensioText(openError));
        lock.unlock();
        link->release();
    }
}

void NetworkLine::Link::openDone(gensio* io, int error, void* data)
{
    auto* link = static_cast<Link*>(data);
    std::unique_lock lock(link->mutex);
    if (error != 0) {
        link->fail(kindOf(error), gensioText(error));
        lock.unlock();
        link->release();
        return;
    }
    link->opened = true;
    if (link->abandoned) {
        lock.unlock();
        if (gensio_close(io, &Link::closeDone, link) != 0)
            link->release();
        return;
    }
    link->state = State::Open;
    link->openedAt = Clock::now();
    const bool rfc2217 = link->rfc2217;
    link->held = rfc2217;
    const bool pending = !link->outgoing.isEmpty() && !rfc2217;
    link->changed.notify_all();
    lock.unlock();
    if (rfc2217)
        link->sendSettings();
    gensio_set_read_callback_enable(io, true);
    if (pending)
        gensio_set_write_callback_enable(io, true);
}

void NetworkLine::Link::sendSettings()
{
    sergensio* serial = gensio_to_sergensio(io);
    if (!serial)
        return;
    std::array<unsigned, kSettingCount> values;
    {
        std::lock_guard lock(mutex);
        values = asked;
        answered = {};
    }
    // Purges the server's buffers: a fresh port holds no input, and no output of an earlier
    // exchange reaches the device ahead of the frame.
    sergensio_flush(serial, SERGENSIO_FLUSH_RCV_XMIT_BUFFERS);
    sergensio_linestate(serial, SERGENSIO_LINESTATE_OVERRUN_ERR | SERGENSIO_LINESTATE_PARITY_ERR |
                                    SERGENSIO_LINESTATE_FRAMING_ERR | SERGENSIO_LINESTATE_BREAK);
    sergensio_baud(serial, values[kBaud], &Link::settingDone<kBaud>, this);
    sergensio_datasize(serial, values[kDataSize], &Link::settingDone<kDataSize>, this);
    sergensio_parity(serial, values[kParity], &Link::settingDone<kParity>, this);
    sergensio_stopbits(serial, values[kStopBits], &Link::settingDone<kStopBits>, this);
}

template <int Which>
void NetworkLine::Link::settingDone(sergensio*, int error, unsigned value, void* data)
{
    auto* link = static_cast<Link*>(data);
    std::unique_lock lock(link->mutex);
    // gensio gives up on an answer after a few seconds; the line waits kSettingsHold at most.
    if (error != 0 || link->abandoned)
        return;
    link->answered[Which] = value;
    if (link->held &&
        std::ranges::all_of(link->answered, [](const auto& got) { return got.has_value(); })) {
        link->held = false;
        const bool pending = !link->outgoing.isEmpty();
        lock.unlock();
        if (pending)
            gensio_set_write_callback_enable(link->io, true);
        lock.lock();
    }
    const QString kept = keptText(link->asked, link->answered);
    if (!kept.isEmpty())
        link->fail(SerialError::Kind::Refused,
                   QStringLiteral("settings \"%1\" refused (the server keeps %2)")
                       .arg(link->settingsText, kept));
}

void NetworkLine::Link::closeDone(gensio*, void* data)
{
    static_cast<Link*>(data)->release();
}

int NetworkLine::Link::event(gensio* io, void* data, int event, int error, unsigned char* buf,
                             gensiods* length, const char* const*)
{
    auto* link = static_cast<Link*>(data);
    std::unique_lock lock(link->mutex);
    switch (event) {
    case GENSIO_EVENT_READ: {
        if (error != 0) {
            link->fail(SerialError::Kind::Vanished, gensioText(error));
            lock.unlock();
            gensio_set_read_callback_enable(io, false);
            return 0;
        }
        if (link->abandoned || link->fresh)
            return 0;
        const gensiods room =
            gensiods(std::max<qsizetype>(0, kReceiveLimit - link->received.size()));
        const gensiods taken = std::min(room, *length);
        link->received.append(reinterpret_cast<const char*>(buf), qsizetype(taken));
        if (taken > 0) {
            link->changed.notify_all();
            if (link->notify)
                link->notify(false);
        }
        if (taken < *length) {
            // The rest waits in gensio until Input makes room.
            *length = taken;
            link->readPaused = true;
            lock.unlock();
            gensio_set_read_callback_enable(io, false);
        }
        return 0;
    }
    case GENSIO_EVENT_WRITE_READY: {
        const QByteArray pending = link->outgoing;
        lock.unlock();
        gensiods written = 0;
        const int writeError = pending.isEmpty() ? 0
                                                 : gensio_write(io, &written, pending.constData(),
                                                                gensiods(pending.size()), nullptr);
        lock.lock();
        if (writeError != 0) {
            link->fail(SerialError::Kind::Vanished, gensioText(writeError));
            written = gensiods(link->outgoing.size());
        }
        link->outgoing.remove(0, qsizetype(written));
        const bool done = link->outgoing.isEmpty();
        lock.unlock();
        if (done)
            gensio_set_write_callback_enable(io, false);
        return 0;
    }
    case GENSIO_EVENT_SER_LINESTATE:
        if (buf && length && *length >= sizeof(unsigned))
            link->lineState |= *reinterpret_cast<const unsigned*>(buf);
        return 0;
    default:
        return GE_NOTSUP;
    }
}

NetworkLine::NetworkLine(QObject* parent) : QObject(parent) {}

NetworkLine::~NetworkLine()
{
    close();
}

void NetworkLine::open(const NetworkPort::Address& address, const QString& settingsText,
                       const LineSettings& settings)
{
    close();
    if (m_closing) {
        std::unique_lock lock(m_closing->mutex);
        m_closing->changed.wait_for(lock, kCloseLimit,
                                    [this] { return m_closing->released || !m_closing->opened; });
        lock.unlock();
        m_closing.reset();
    }
    m_lineState = 0;
    auto link = std::make_shared<Link>();
    link->where = address.url();
    link->rfc2217 = address.kind == NetworkPort::Kind::Rfc2217;
    // gensio takes an IPv6 literal without its brackets.
    link->gensioName = (link->rfc2217 ? QStringLiteral("telnet(rfc2217),tcp(nodelay),%1,%2")
                                      : QStringLiteral("tcp(nodelay),%1,%2"))
                           .arg(address.host)
                           .arg(address.port);
    link->settingsText = settingsText;
    link->asked = {unsigned(settings.baud), unsigned(settings.dataBits),
                   parityCode(settings.parity), stopBitsCode(settings)};
    link->notify = [this](bool ended) {
        QMetaObject::invokeMethod(
            this,
            [this, ended] {
                if (ended)
                    emit vanished();
                else
                    emit inputArrived();
            },
            Qt::QueuedConnection);
    };
    link->self = link;
    link->starter = gensio_os_funcs_alloc_runner(GensioLoop::os(), &Link::start, link.get());
    if (!link->starter || gensio_os_funcs_run(GensioLoop::os(), link->starter) != 0) {
        link->self.reset();
        throw SerialError(SerialError::Kind::Io,
                          QStringLiteral("%1: the connection cannot be started").arg(link->where));
    }
    m_link = link;
    if (!link->rfc2217)
        note(QStringLiteral("%1 carries the bytes only: the line's settings are the server's.")
                 .arg(link->where));
}

void NetworkLine::applySettings(const QString& settingsText, const LineSettings& settings)
{
    if (!m_link || !m_link->rfc2217)
        return;
    std::unique_lock lock(m_link->mutex);
    m_link->settingsText = settingsText;
    m_link->asked = {unsigned(settings.baud), unsigned(settings.dataBits),
                     parityCode(settings.parity), stopBitsCode(settings)};
    const bool open = m_link->state == Link::State::Open;
    lock.unlock();
    if (open)
        m_link->sendSettings();
}

void NetworkLine::close()
{
    if (!m_link)
        return;
    const std::shared_ptr<Link> link = std::move(m_link);
    std::unique_lock lock(link->mutex);
    link->notify = nullptr;
    link->abandoned = true;
    m_lineState = link->lineState;
    const bool unanswered =
        link->rfc2217 && link->state == Link::State::Open &&
        std::any_of(link->answered.begin(), link->answered.end(),
                    [](const std::optional<unsigned>& answer) { return !answer; });
    gensio* const io = link->opened && !link->released ? link->io : nullptr;
    lock.unlock();
    if (unanswered)
        note(QStringLiteral("%1 did not confirm the line settings while the exchange ran; they "
                            "were sent, and the exchange went on without the confirmation.")
                 .arg(link->where));
    // A connection still being made is closed by gensio's thread once it is made.
    if (io && gensio_close(io, &Link::closeDone, link.get()) != 0)
        link->release();
    m_closing = link;
}

void NetworkLine::write(const QByteArray& bytes)
{
    requireUsable(false);
    std::unique_lock lock(m_link->mutex);
    // The frame is handed over: from now on what arrives is the device's answer.
    m_link->fresh = false;
    m_link->received.clear();
    m_link->outgoing += bytes;
    const bool open = m_link->state == Link::State::Open && !m_link->held;
    lock.unlock();
    if (open)
        gensio_set_write_callback_enable(m_link->io, true);
}

qint64 NetworkLine::outputLeft()
{
    if (!m_link)
        requireUsable(false);
    std::unique_lock lock(m_link->mutex);
    if (m_link->state == Link::State::Connecting &&
        Clock::now() - m_link->startedAt > kConnectLimit)
        m_link->fail(SerialError::Kind::Io,
                     QStringLiteral("no connection within %1 s").arg(kConnectLimit.count()));
    const bool release = m_link->held && m_link->state == Link::State::Open &&
                         Clock::now() - m_link->openedAt >= kSettingsHold;
    if (release)
        m_link->held = false;
    // A frame that was all out before the server went away has left: the answer that came
    // before the end is read first, and Input reports the end after it.
    const bool sent = m_link->outgoing.isEmpty() && !m_link->received.isEmpty();
    lock.unlock();
    if (release)
        gensio_set_write_callback_enable(m_link->io, true);
    requireUsable(sent);
    lock.lock();
    return m_link->outgoing.size();
}

QByteArray NetworkLine::take(qsizetype max)
{
    requireUsable(true);
    std::unique_lock lock(m_link->mutex);
    const qsizetype count =
        max > 0 ? std::min(max, m_link->received.size()) : m_link->received.size();
    const QByteArray chunk = m_link->received.left(count);
    m_link->received.remove(0, count);
    const bool resume = m_link->readPaused && m_link->received.size() < kReceiveLimit &&
                        m_link->state == Link::State::Open;
    if (resume)
        m_link->readPaused = false;
    lock.unlock();
    if (resume)
        gensio_set_read_callback_enable(m_link->io, true);
    return chunk;
}

bool NetworkLine::waiting() const
{
    if (!m_link)
        return false;
    std::lock_guard lock(m_link->mutex);
    return !m_link->received.isEmpty();
}

bool NetworkLine::waitForInput(int ms)
{
    if (!m_link)
        return false;
    std::unique_lock lock(m_link->mutex);
    m_link->changed.wait_for(lock, std::chrono::milliseconds(std::max(0, ms)), [this] {
        return !m_link->received.isEmpty() || m_link->state == Link::State::Failed;
    });
    return !m_link->received.isEmpty();
}

QStringList NetworkLine::takeNotices()
{
    return std::exchange(m_notices, {});
}

void NetworkLine::requireUsable(bool readable) const
{
    if (!m_link)
        throw SerialError(SerialError::Kind::NotOpen, QStringLiteral("the port is not open"));
    std::lock_guard lock(m_link->mutex);
    if (m_link->state != Link::State::Failed)
        return;
    // Bytes that came before the connection ended are still handed out first; after a refused
    // setting nothing more is believed.
    if (readable && m_link->failureKind == SerialError::Kind::Vanished &&
        !m_link->received.isEmpty())
        return;
    throw SerialError(m_link->failureKind, m_link->failure);
}

void NetworkLine::note(const QString& notice)
{
    if (m_said.contains(notice))
        return;
    m_said.insert(notice);
    m_notices << notice;
}

QStringList NetworkLine::lineState() const
{
    unsigned bits = m_lineState;
    if (m_link) {
        std::lock_guard lock(m_link->mutex);
        bits = m_link->lineState;
    }
    QStringList words;
    if (bits & SERGENSIO_LINESTATE_FRAMING_ERR)
        words << QStringLiteral("framing");
    if (bits & SERGENSIO_LINESTATE_PARITY_ERR)
        words << QStringLiteral("parity");
    if (bits & SERGENSIO_LINESTATE_OVERRUN_ERR)
        words << QStringLiteral("overrun");
    if (bits & SERGENSIO_LINESTATE_BREAK)
        words << QStringLiteral("break");
    return words;
}
