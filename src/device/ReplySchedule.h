#pragma once
// The replies the simulated device has yet to send, in the order it answered: held by a delay,
// or split into single bytes some ms apart. A later reply never overtakes an earlier one.

#include <QByteArray>

#include <chrono>
#include <deque>
#include <optional>

class ReplySchedule {
public:
    using Clock = std::chrono::steady_clock;

    void add(Clock::time_point now, const QByteArray& reply, int delayMs, int splitMs);
    // Takes off the bytes that are due by now.
    QByteArray takeDue(Clock::time_point now);
    std::optional<Clock::time_point> nextDue() const;
    bool isEmpty() const { return m_parts.empty(); }

private:
    struct Part {
        Clock::time_point due;
        QByteArray bytes;
    };
    std::deque<Part> m_parts;
};
