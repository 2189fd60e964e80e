#include "platform/SimulatedDevice.h"

#include "platform/DeviceFrames.h"
#include "platform/SerialError.h"

#include <QByteArrayView>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
// A frame that does not end at an ETX is complete once the line has been this quiet.
constexpr auto kQuiet = std::chrono::milliseconds(3);

SerialError systemFailure(const char* what)
{
    return SerialError(SerialError::Kind::Io,
                       QStringLiteral("simulated device: %1: %2")
                           .arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno))));
}

QByteArray replyTo(const QByteArray& frame, const SimulatedDevice::Behaviour& behaviour)
{
    switch (behaviour.mode) {
    case SimulatedDevice::Mode::Protocol:
        return DeviceFrames::protocolReply(frame, DeviceFrames::Consoles::Any);
    case SimulatedDevice::Mode::Ack:
        return QByteArray(1, kAck);
    case SimulatedDevice::Mode::Nak:
        return QByteArray(1, kNak);
    case SimulatedDevice::Mode::Silent:
        return {};
    case SimulatedDevice::Mode::Bytes:
        return behaviour.bytes;
    }
    return {};
}

} // namespace

struct SimulatedDevice::Impl {
    struct Reply {
        Clock::time_point due;
        QByteArray bytes;
    };

    int master = -1;
    int slave = -1; // kept open so the master never sees a hang-up and the line stays raw
    int wake[2] = {-1, -1};
    QString path;
    std::thread thread;

    // Shared with the serving thread.
    mutable std::mutex mutex;
    Behaviour behaviour;
    QByteArray received;
    QList<QByteArray> frames;
    QByteArray outbox;
    bool stopping = false;

    // The serving thread's own.
    QByteArray frame;
    Clock::time_point lastByte;
    std::deque<Reply> replies;

    void serve();
    void receive(const char* bytes, qsizetype count, Clock::time_point now);
    void complete(Clock::time_point now);
    void writeOut();
    void wakeUp() const;
    void stop();
    void closeLine();
};

void SimulatedDevice::Impl::serve()
{
    char buffer[4096];
    for (;;) {
        std::optional<Clock::time_point> deadline;
        if (!frame.isEmpty())
            deadline = lastByte + kQuiet;
        if (!replies.empty())
            deadline = deadline ? std::min(*deadline, replies.front().due) : replies.front().due;
        bool wantWrite;
        {
            const std::lock_guard lock(mutex);
            if (stopping)
                return;
            wantWrite = !outbox.isEmpty();
        }

        pollfd fds[2] = {{wake[0], POLLIN, 0},
                         {master, short(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
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
            while (::read(wake[0], buffer, sizeof buffer) > 0) {
            }
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t count = ::read(master, buffer, sizeof buffer);
            if (count > 0)
                receive(buffer, count, Clock::now());
        }
        const Clock::time_point now = Clock::now();
        if (!frame.isEmpty() && now - lastByte >= kQuiet)
            complete(now);
        while (!replies.empty() && replies.front().due <= now) {
            {
                const std::lock_guard lock(mutex);
                outbox += replies.front().bytes;
            }
            replies.pop_front();
        }
        writeOut();
    }
}

void SimulatedDevice::Impl::receive(const char* bytes, qsizetype count, Clock::time_point now)
{
    {
        const std::lock_guard lock(mutex);
        received.append(bytes, count);
    }
    lastByte = now;
    for (qsizetype i = 0; i < count; ++i) {
        frame += bytes[i];
        // A Loader frame is answered on its ETX, without waiting for the line to go quiet.
        if (bytes[i] == kEtx && frame.startsWith(kStx)) {
            complete(now);
            writeOut();
        }
    }
}

void SimulatedDevice::Impl::complete(Clock::time_point now)
{
    Behaviour current;
    {
        const std::lock_guard lock(mutex);
        frames.append(frame);
        current = behaviour;
    }
    QByteArray reply = replyTo(frame, current);
    frame.clear();
    if (reply.isEmpty())
        return;
    if (current.delayMs <= 0 && replies.empty()) {
        const std::lock_guard lock(mutex);
        outbox += reply;
        return;
    }
    replies.push_back(
        {now + std::chrono::milliseconds(std::max(0, current.delayMs)), std::move(reply)});
}

void SimulatedDevice::Impl::writeOut()
{
    const std::lock_guard lock(mutex);
    while (!outbox.isEmpty()) {
        const ssize_t written = ::write(master, outbox.constData(), size_t(outbox.size()));
        if (written <= 0)
            return; // the program's input queue is full: the next POLLOUT goes on
        outbox.remove(0, written);
    }
}

void SimulatedDevice::Impl::wakeUp() const
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = ::write(wake[1], &byte, 1);
}

void SimulatedDevice::Impl::stop()
{
    if (!thread.joinable())
        return;
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    wakeUp();
    thread.join();
}

void SimulatedDevice::Impl::closeLine()
{
    if (master >= 0)
        ::close(master);
    if (slave >= 0)
        ::close(slave);
    master = slave = -1;
}

SimulatedDevice::SimulatedDevice() : d(std::make_unique<Impl>())
{
    if (::openpty(&d->master, &d->slave, nullptr, nullptr, nullptr) == -1)
        throw systemFailure("openpty");
    char name[128];
    termios raw{};
    if (::ptsname_r(d->master, name, sizeof name) != 0 || ::tcgetattr(d->slave, &raw) == -1) {
        const SerialError failure = systemFailure("pseudo-terminal");
        d->closeLine();
        throw failure;
    }
    ::cfmakeraw(&raw);
    if (::tcsetattr(d->slave, TCSANOW, &raw) == -1 || ::pipe2(d->wake, O_NONBLOCK | O_CLOEXEC)) {
        const SerialError failure = systemFailure("pseudo-terminal");
        d->closeLine();
        throw failure;
    }
    ::fcntl(d->master, F_SETFL, ::fcntl(d->master, F_GETFL) | O_NONBLOCK);
    ::fcntl(d->master, F_SETFD, FD_CLOEXEC);
    ::fcntl(d->slave, F_SETFD, FD_CLOEXEC);
    d->path = QString::fromLocal8Bit(name);
    d->thread = std::thread([impl = d.get()] { impl->serve(); });
}

SimulatedDevice::~SimulatedDevice()
{
    d->stop();
    d->closeLine();
    for (const int fd : d->wake) {
        if (fd >= 0)
            ::close(fd);
    }
}

QString SimulatedDevice::devicePath() const
{
    return d->path;
}

void SimulatedDevice::setBehaviour(const Behaviour& behaviour)
{
    const std::lock_guard lock(d->mutex);
    d->behaviour = behaviour;
}

SimulatedDevice::Behaviour SimulatedDevice::behaviour() const
{
    const std::lock_guard lock(d->mutex);
    return d->behaviour;
}

// Sets mode and bytes; the delay stays as the caller had it.
bool SimulatedDevice::parseMode(const QString& text, Behaviour* behaviour)
{
    const QString mode = text.trimmed().toLower();
    if (mode == QLatin1String("protocol")) {
        behaviour->mode = Mode::Protocol;
    } else if (mode == QLatin1String("ack")) {
        behaviour->mode = Mode::Ack;
    } else if (mode == QLatin1String("nak")) {
        behaviour->mode = Mode::Nak;
    } else if (mode == QLatin1String("silent")) {
        behaviour->mode = Mode::Silent;
    } else if (mode.startsWith(QLatin1String("hex:"))) {
        const QString digits = mode.sliced(4);
        const bool allHex = std::all_of(digits.begin(), digits.end(), [](QChar c) {
            return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                   (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
        });
        if (digits.isEmpty() || digits.size() % 2 != 0 || !allHex)
            return false;
        behaviour->mode = Mode::Bytes;
        behaviour->bytes = QByteArray::fromHex(digits.toLatin1());
        return true;
    } else {
        return false;
    }
    behaviour->bytes.clear();
    return true;
}

QByteArray SimulatedDevice::received() const
{
    const std::lock_guard lock(d->mutex);
    return d->received;
}

QList<QByteArray> SimulatedDevice::frames() const
{
    const std::lock_guard lock(d->mutex);
    return d->frames;
}

void SimulatedDevice::clearReceived()
{
    const std::lock_guard lock(d->mutex);
    d->received.clear();
    d->frames.clear();
}

void SimulatedDevice::send(const QByteArray& bytes)
{
    {
        const std::lock_guard lock(d->mutex);
        if (d->master < 0)
            return;
        d->outbox += bytes;
    }
    d->wakeUp();
}

void SimulatedDevice::vanish()
{
    d->stop();
    const std::lock_guard lock(d->mutex);
    d->closeLine();
}
