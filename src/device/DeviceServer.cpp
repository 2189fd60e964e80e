#include "device/DeviceServer.h"

#include "codec/ControlCharacters.h"
#include "device/NetworkBridge.h"
#include "serial/SerialError.h"

#include <QDateTime>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <unistd.h>

namespace {

using Clock = DeviceServer::Clock;
using std::chrono::milliseconds;

using codec::kEtx;
using codec::kStx;
// A frame that does not end at an ETX is complete once the line has been this quiet.
constexpr auto kQuiet = milliseconds(3);
// The kernel throws away what a hung-up terminal had not handed out yet, so a device going away
// first lets the program take its last reply, looking this often and waiting this long at most.
constexpr auto kLeaveCheck = milliseconds(1);
constexpr auto kLeaveGrace = milliseconds(1000);

std::optional<Clock::time_point> earliest(std::optional<Clock::time_point> a,
                                          std::optional<Clock::time_point> b)
{
    if (!a || !b)
        return a ? a : b;
    return std::min(*a, *b);
}

qint64 wallClock()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

DeviceServer::DeviceServer(const DeviceSetup& setup)
{
    configure(setup);
    m_line.openPty();
    m_path = m_line.path();
    start({}, 0);
}

DeviceServer::DeviceServer(const QString& portPath, qint32 baud, const DeviceSetup& setup)
    : m_path(portPath)
{
    configure(setup);
    start(portPath, baud);
}

DeviceServer::DeviceServer(std::unique_ptr<NetworkBridge> bridge, const DeviceSetup& setup)
{
    configure(setup);
    m_line.openNetwork(std::move(bridge));
    m_path = m_line.path();
    start({}, 0);
}

DeviceServer::~DeviceServer()
{
    stop();
    for (const int fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
    }
}

void DeviceServer::configure(const DeviceSetup& setup)
{
    m_answers.setBehaviour(setup.behaviour);
    m_answers.setRules(setup.rules);
    m_answers.setFaults(setup.faults);
    m_observer = std::make_shared<const DeviceObserver>(setup.observer);
    m_noiseMs = setup.faults.noiseMs;
}

void DeviceServer::start(const QString& portPath, qint32 baud)
{
    if (::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC))
        throw SerialError(SerialError::Kind::Io,
                          QStringLiteral("simulated device: pipe: %1")
                              .arg(QString::fromLocal8Bit(std::strerror(errno))));
    std::promise<void> opened;
    std::future<void> ready = opened.get_future();
    m_thread.reset(QThread::create([this, &opened, portPath, baud] {
        if (!portPath.isEmpty()) {
            try {
                // A real port is a Qt object of the thread that opens it: this one.
                m_line.openPort(portPath, baud);
            } catch (const SerialError&) {
                opened.set_exception(std::current_exception());
                return;
            }
        }
        opened.set_value();
        serve();
        if (m_line.isPort()) {
            const std::lock_guard lock(m_mutex);
            m_line.close();
        }
    }));
    m_thread->start();
    try {
        ready.get();
    } catch (const SerialError&) {
        m_thread->wait();
        m_thread.reset();
        for (int& fd : m_wake) {
            ::close(fd);
            fd = -1;
        }
        throw;
    }
}

void DeviceServer::serve()
{
    char buffer[4096];
    if (m_noiseMs > 0)
        m_nextNoise = Clock::now() + milliseconds(m_noiseMs);
    for (;;) {
        std::optional<Clock::time_point> deadline;
        if (!m_frame.isEmpty())
            deadline = m_lastByte + kQuiet;
        deadline = earliest(deadline, m_replies.nextDue());
        if (m_leaveBy)
            deadline = earliest(deadline, Clock::now() + kLeaveCheck);
        bool wantWrite;
        {
            const std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            wantWrite = !m_outbox.isEmpty();
        }
        deadline = earliest(deadline, m_nextNoise);

        pollfd fds[2] = {{m_wake[0], POLLIN, 0},
                         {m_line.handle(), short(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
        timespec timeout{};
        const timespec* timeoutPointer = nullptr;
        if (deadline) {
            const auto left = std::max(Clock::duration::zero(), *deadline - Clock::now());
            const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left);
            timeout.tv_sec = time_t(nanoseconds.count() / 1'000'000'000);
            timeout.tv_nsec = long(nanoseconds.count() % 1'000'000'000);
            timeoutPointer = &timeout;
        }
        if (::ppoll(fds, 2, timeoutPointer, nullptr) < 0 && errno != EINTR)
            return;

        if (fds[0].revents & POLLIN) {
            while (::read(m_wake[0], buffer, sizeof buffer) > 0) {
            }
        }
        if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !readLine(buffer, sizeof buffer))
            return;
        const Clock::time_point now = Clock::now();
        if (!m_frame.isEmpty() && now - m_lastByte >= kQuiet)
            complete(now);
        takeDueReplies(now);
        if (m_nextNoise && *m_nextNoise <= now)
            makeNoise(now);
        writeOut();
        publish();
        if (m_leaving && mayLeave(now))
            return;
    }
}

// False when the line failed, which only a real port does: the pty's own device side keeps its
// master from ever seeing a hang-up.
bool DeviceServer::readLine(char* buffer, size_t size)
{
    const ssize_t count = ::read(m_line.handle(), buffer, size);
    if (count > 0) {
        receive(buffer, count, Clock::now());
        return true;
    }
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    Event gone{Event::Kind::LineGone, wallClock()};
    gone.reason =
        count == 0
            ? QStringLiteral("%1: the line hung up").arg(m_path)
            : QStringLiteral("%1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
    m_news.push_back(gone);
    publish();
    return false;
}

void DeviceServer::receive(const char* bytes, qsizetype count, Clock::time_point now)
{
    {
        const std::lock_guard lock(m_mutex);
        m_received.append(bytes, count);
        if (m_received.size() > kDeviceKeptBytes)
            m_received.remove(0, m_received.size() - kDeviceKeptBytes);
    }
    m_lastByte = now;
    for (qsizetype i = 0; i < count; ++i) {
        if (m_frame.size() < kDeviceFrameBytes)
            m_frame += bytes[i];
        // A Loader frame is answered on its ETX, without waiting for the line to go quiet.
        if (bytes[i] == kEtx && m_frame.startsWith(kStx)) {
            complete(now);
            takeDueReplies(now);
            writeOut();
        }
    }
}

void DeviceServer::complete(Clock::time_point now)
{
    Event event{Event::Kind::Frame, wallClock(), m_frame};
    m_frame.clear();
    DeviceAnswers::Answer answer;
    {
        const std::lock_guard lock(m_mutex);
        m_frames.append(event.frame);
        m_framesBytes += event.frame.size();
        while (m_frames.size() > kDeviceKeptFrames ||
               (m_frames.size() > 1 && m_framesBytes > kDeviceKeptBytes))
            m_framesBytes -= m_frames.takeFirst().size();
        // A device on its way out answers nothing more.
        if (m_leaving)
            return;
        answer = m_answers.answer(event.frame);
        m_leaving = m_answers.vanishing();
    }
    ++m_answered;
    if (m_leaving)
        m_nextNoise.reset();
    m_replies.add(now, answer.reply, answer.delayMs, answer.splitMs);
    event.rule = answer.rule;
    event.ruleName = answer.name;
    event.faults = answer.faults;
    event.reply = answer.reply;
    event.delayMs = answer.delayMs;
    m_news.push_back(event);
}

void DeviceServer::takeDueReplies(Clock::time_point now)
{
    const QByteArray due = m_replies.takeDue(now);
    if (due.isEmpty())
        return;
    const std::lock_guard lock(m_mutex);
    queueOut(due);
}

void DeviceServer::makeNoise(Clock::time_point now)
{
    Event event{Event::Kind::Noise, wallClock()};
    {
        const std::lock_guard lock(m_mutex);
        event.reply = m_answers.noise();
        queueOut(event.reply);
    }
    // A loop that fell behind skips the bursts it missed rather than sending them at once.
    m_nextNoise = std::max(*m_nextNoise + milliseconds(m_noiseMs), now);
    m_news.push_back(event);
}

bool DeviceServer::mayLeave(Clock::time_point now)
{
    {
        const std::lock_guard lock(m_mutex);
        if (!m_replies.isEmpty() || !m_outbox.isEmpty())
            return false;
        if (!m_leaveBy)
            m_leaveBy = now + kLeaveGrace;
        if (!m_line.programHasAll() && now < *m_leaveBy)
            return false;
        m_line.close();
    }
    Event gone{Event::Kind::Vanished, wallClock()};
    gone.frames = m_answered;
    m_news.push_back(gone);
    publish();
    return true;
}

void DeviceServer::publish()
{
    if (m_news.empty())
        return;
    std::shared_ptr<const DeviceObserver> observer;
    {
        const std::lock_guard lock(m_mutex);
        observer = m_observer;
    }
    if (observer && *observer) {
        for (const Event& event : m_news)
            (*observer)(event);
    }
    m_news.clear();
}

// A program that stops reading leaves the replies here: past kDeviceKeptBytes they are dropped,
// as a device with its transmit buffer full drops them.
void DeviceServer::queueOut(const QByteArray& bytes)
{
    m_outbox += bytes.left(std::max<qsizetype>(0, kDeviceKeptBytes - m_outbox.size()));
}

void DeviceServer::writeOut()
{
    const std::lock_guard lock(m_mutex);
    while (!m_outbox.isEmpty()) {
        const ssize_t written =
            ::write(m_line.handle(), m_outbox.constData(), size_t(m_outbox.size()));
        if (written <= 0)
            return; // the program's input queue is full: the next POLLOUT goes on
        m_outbox.remove(0, written);
    }
}

void DeviceServer::wakeUp() const
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = ::write(m_wake[1], &byte, 1);
}

void DeviceServer::stop()
{
    if (!m_thread)
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    wakeUp();
    m_thread->wait();
    m_thread.reset();
}

void DeviceServer::setBehaviour(const DeviceBehaviour& behaviour)
{
    const std::lock_guard lock(m_mutex);
    m_answers.setBehaviour(behaviour);
}

DeviceBehaviour DeviceServer::behaviour() const
{
    const std::lock_guard lock(m_mutex);
    return m_answers.behaviour();
}

void DeviceServer::setObserver(DeviceObserver observer)
{
    const std::lock_guard lock(m_mutex);
    m_observer = std::make_shared<const DeviceObserver>(std::move(observer));
}

QByteArray DeviceServer::received() const
{
    const std::lock_guard lock(m_mutex);
    return m_received;
}

QList<QByteArray> DeviceServer::frames() const
{
    const std::lock_guard lock(m_mutex);
    return m_frames;
}

void DeviceServer::clearReceived()
{
    const std::lock_guard lock(m_mutex);
    m_received.clear();
    m_frames.clear();
    m_framesBytes = 0;
}

void DeviceServer::send(const QByteArray& bytes)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_line.handle() < 0)
            return;
        queueOut(bytes);
    }
    wakeUp();
}

void DeviceServer::vanish()
{
    stop();
    const std::lock_guard lock(m_mutex);
    m_line.close();
}
