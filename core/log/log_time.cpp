#include "log/log_time.h"

#include <cstdio>

namespace quorvel {

const std::tm& LocalStamp::brokenDown(std::time_t secs) {
    if (secs != cachedSecond_) {
        localtime_r(&secs, &tm_);
        cachedSecond_ = secs;
    }
    return tm_;
}

void LocalStamp::appendTime(std::string& out, WallClock::time_point t) {
    const auto whole = std::chrono::floor<std::chrono::seconds>(t);
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(t - whole).count();
    const std::tm& tm = brokenDown(WallClock::to_time_t(whole));
    char buf[32];
    const int n = std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%06d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                                static_cast<int>(us));
    out.append(buf, static_cast<std::size_t>(n));
}

void LocalStamp::appendDateTime(std::string& out, WallClock::time_point t) {
    const std::tm& tm = brokenDown(WallClock::to_time_t(std::chrono::floor<std::chrono::seconds>(t)));
    char buf[40];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    out.append(buf, static_cast<std::size_t>(n));
}

} // namespace quorvel
