// Local wall-clock stamps for the logs. localtime_r takes the time-zone lock, so a writer keeps
// the broken-down second and only redoes it when the second changes.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace quorvel {

using WallClock = std::chrono::system_clock;

class LocalStamp {
public:
    // "HH:MM:SS.uuuuuu"
    void appendTime(std::string& out, WallClock::time_point t);
    // "YYYY-MM-DD HH:MM:SS"
    void appendDateTime(std::string& out, WallClock::time_point t);

private:
    const std::tm& brokenDown(std::time_t secs);
    std::time_t cachedSecond_ = -1;
    std::tm tm_{};
};

} // namespace quorvel
