// Time as the link sees it. The connection machine reads the clock only through this interface so
// that retries and the watchdog can be run through 30 seconds in a test without waiting.
#pragma once

#include <atomic>
#include <chrono>

#include "link/device_state.h"

namespace quorvel {

class LinkClock {
public:
    virtual ~LinkClock() = default;
    virtual Clock::time_point now() const = 0;
};

class SteadyLinkClock final : public LinkClock {
public:
    Clock::time_point now() const override { return Clock::now(); }
};

// Moves only when told to. Starts well after the epoch so that "never" (a default time point)
// is always long ago.
class ManualClock final : public LinkClock {
public:
    ManualClock() : now_(Clock::time_point{} + std::chrono::hours(1)) {}
    Clock::time_point now() const override { return now_.load(); }
    void advance(Clock::duration d) { now_.store(now_.load() + d); }

private:
    std::atomic<Clock::time_point> now_;
};

} // namespace quorvel
