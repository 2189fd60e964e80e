#include "engine/Transaction.h"

#include "codec/ControlCharacters.h"

#include <algorithm>

namespace {
using codec::kAck;
using codec::kEot;
using codec::kNak;
// A line on which no byte of the frame has left the port for this long is dead: the device
// stopped taking bytes. A slow line that still takes them may drain for as long as it needs.
constexpr std::chrono::seconds kDrainLimit{5};
// How long each of the extra reads after the loop waits for a byte that is on its way.
constexpr int kExtraReadWaitMs = 1;
} // namespace

ReplyClass classify(const QByteArray& reply)
{
    if (reply.isEmpty())
        return ReplyClass::None;
    switch (reply.front()) {
    case kAck:
        return ReplyClass::Ack;
    case kNak:
        return ReplyClass::Nak;
    default:
        return ReplyClass::Other;
    }
}

Transaction::Transaction(SerialLine& line, QObject* parent) : QObject(parent), m_line(line)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Transaction::onTimer);
    // A byte that arrives while the engine sleeps ends the sleep at once.
    const auto wake = [this] {
        if (m_driven && m_timer.isActive() && m_timer.remainingTime() > 0)
            m_timer.start(0);
    };
    connect(&m_line, &SerialLine::inputArrived, this, wake);
    connect(&m_line, &SerialLine::vanished, this, wake);
}

Transaction::~Transaction()
{
    abort();
}

bool Transaction::begin(const TransactionPlan& plan)
{
    m_plan = plan;
    m_reply.clear();
    m_polls = 0;
    m_error.reset();
    m_startedAt = std::chrono::system_clock::now();
    m_latency.reset();
    m_windowLength = {};
    try {
        if (!plan.commPort) {
            throw SerialError(
                SerialError::Kind::BadPort,
                QStringLiteral("The port number \"%1\" is not a number.").arg(plan.portText));
        }
        m_line.setCommPort(*plan.commPort);
        if (plan.settings)
            m_line.setSettings(*plan.settings);
        if (m_afterSettings)
            m_afterSettings();
        m_line.setInputLen(1);
        m_line.setPortOpen(true);
        m_line.setOutput(plan.frame);
    } catch (const SerialError& error) {
        fail(error);
        return false;
    }
    m_state = State::Draining;
    m_outputLeft = plan.frame.size();
    m_outputMovedAt = m_clock->now();
    return true;
}

bool Transaction::step()
{
    try {
        switch (m_state) {
        case State::Draining:
            drain();
            return true;
        case State::Receiving:
            return receive();
        case State::Idle:
        case State::Finished:
        case State::Failed:
            return false;
        }
    } catch (const SerialError& error) {
        fail(error);
    }
    return false;
}

void Transaction::drain()
{
    const qint64 left = m_line.outputLeft();
    const auto now = m_clock->now();
    if (left == 0) {
        m_state = State::Receiving;
        m_frameLeftAt = now;
    } else if (left < m_outputLeft) {
        m_outputLeft = left;
        m_outputMovedAt = now;
    } else if (now - m_outputMovedAt > kDrainLimit) {
        throw SerialError(
            SerialError::Kind::Io,
            QStringLiteral("The device took no bytes for %1 s.").arg(kDrainLimit.count()));
    }
}

bool Transaction::receive()
{
    const int polls = m_plan.rule.polls;
    // Polls whose time came while nothing waited found nothing. When the clock says the window is
    // over, the program was held up past its end: bytes waiting then may have come while the
    // window was open, so the polls that were due read them before the window closes.
    const int due = duePolls();
    const bool late = due >= polls;
    if (!late)
        m_polls = std::max(m_polls, due);
    bool atEot = false;
    if (m_polls < polls) {
        const QByteArray chunk = m_line.input();
        if (!chunk.isEmpty()) {
            collect(chunk);
            ++m_polls;
            atEot = m_plan.rule.stopAtEot && chunk.size() == 1 && chunk.front() == kEot;
        } else if (late) {
            m_polls = polls;
        }
    }
    if (m_polls < polls && !atEot)
        return true;
    for (int read = 0; read < m_plan.rule.extraReads; ++read) {
        m_line.waitForInput(kExtraReadWaitMs);
        collect(m_line.input());
    }
    m_windowLength = sinceFrameLeft();
    closeLine();
    m_state = State::Finished;
    return false;
}

void Transaction::run()
{
    m_driven = true;
    m_timer.start(0);
}

void Transaction::abort()
{
    m_timer.stop();
    m_driven = false;
    if (running()) {
        if (m_state == State::Receiving)
            m_windowLength = sinceFrameLeft();
        closeLine();
        m_state = State::Idle;
    }
}

void Transaction::fail(const SerialError& error)
{
    m_error = error;
    if (m_state == State::Receiving)
        m_windowLength = sinceFrameLeft();
    closeLine();
    m_state = State::Failed;
}

void Transaction::collect(const QByteArray& bytes)
{
    if (m_reply.isEmpty() && !bytes.isEmpty())
        m_latency = sinceFrameLeft();
    m_reply += bytes;
}

std::chrono::microseconds Transaction::sinceFrameLeft() const
{
    return std::chrono::duration_cast<std::chrono::microseconds>(m_clock->now() - m_frameLeftAt);
}

int Transaction::duePolls() const
{
    const auto due = sinceFrameLeft() / m_pollInterval;
    return int(std::min<decltype(due)>(due, m_plan.rule.polls));
}

void Transaction::closeLine()
{
    try {
        m_line.setPortOpen(false);
    } catch (const SerialError&) {
        // Closing a port whose device is gone can only fail with what is already reported.
    }
}

void Transaction::onTimer()
{
    if (!step()) {
        m_driven = false;
        emit finished();
        return;
    }
    scheduleNext();
}

void Transaction::scheduleNext()
{
    m_timer.start(std::chrono::ceil<std::chrono::milliseconds>(untilNextStep()));
}

std::chrono::microseconds Transaction::untilNextStep() const
{
    using namespace std::chrono;
    if (m_state == State::Draining)
        return 1ms;
    // A byte still in the driver, or one that comes later, wakes the sleep through inputArrived.
    if (m_line.inputWaiting())
        return 0us;
    // The polls until the window's end would read nothing; the step at its end counts them.
    return std::max(m_pollInterval * m_plan.rule.polls - sinceFrameLeft(), microseconds(0));
}
