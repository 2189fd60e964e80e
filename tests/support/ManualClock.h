#pragma once
// A clock that moves only when the test moves it, for an engine stepped in virtual time. It
// starts an hour in, so that a time taken for a duration shows.

#include "engine/Clock.h"

class ManualClock final : public Clock {
public:
    std::chrono::nanoseconds now() const override { return m_now; }
    void advance(std::chrono::nanoseconds by) { m_now += by; }

private:
    std::chrono::nanoseconds m_now = std::chrono::hours(1);
};
