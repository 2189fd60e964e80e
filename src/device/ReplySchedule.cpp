#include "device/ReplySchedule.h"

#include <algorithm>

void ReplySchedule::add(Clock::time_point now, const QByteArray& reply, int delayMs, int splitMs)
{
    if (reply.isEmpty())
        return;
    const Clock::time_point due = now + std::chrono::milliseconds(std::max(0, delayMs));
    if (splitMs <= 0) {
        m_parts.push_back({due, reply});
        return;
    }
    for (qsizetype i = 0; i < reply.size(); ++i)
        m_parts.push_back({due + i * std::chrono::milliseconds(splitMs), reply.sliced(i, 1)});
}

QByteArray ReplySchedule::takeDue(Clock::time_point now)
{
    QByteArray due;
    while (!m_parts.empty() && m_parts.front().due <= now) {
        due += m_parts.front().bytes;
        m_parts.pop_front();
    }
    return due;
}

std::optional<ReplySchedule::Clock::time_point> ReplySchedule::nextDue() const
{
    if (m_parts.empty())
        return std::nullopt;
    return m_parts.front().due;
}
