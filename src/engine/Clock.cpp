#include "engine/Clock.h"

namespace {

class SteadyClock final : public Clock {
public:
    std::chrono::nanoseconds now() const override
    {
        return std::chrono::steady_clock::now().time_since_epoch();
    }
};

} // namespace

const Clock& Clock::steady()
{
    static const SteadyClock clock;
    return clock;
}
