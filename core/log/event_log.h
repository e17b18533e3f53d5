// What happened, for the operator: connects and disconnects, errors shown, preset and scene
// actions, firmware steps. Kept in memory for the log panel and written to a rotating file in
// the data directory by a worker, so a slow disk never stalls whoever reports an event.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log/log_time.h"
#include "log/rotating_file.h"

namespace quorvel {

struct EventEntry {
    std::uint64_t seq = 0; // 1, 2, ... in the order added
    WallClock::time_point time;
    std::string text; // one line
};

class EventLog {
public:
    static constexpr std::size_t kKeptInMemory = 2000;
    static constexpr std::size_t kMaxWaiting = 10000; // lines not yet on disk
    static constexpr const char* kFileName = "quorvel.log";

    EventLog();
    ~EventLog(); // writes what waits, then closes
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Any thread. Line breaks become " / " so that an entry stays one line.
    void add(std::string text);
    // The lines so far are written to it too, so what happened before the file could be opened
    // (the profile is read first) is not lost.
    bool openFile(const std::filesystem::path& path, std::string& error,
                  std::uintmax_t limitBytes = RotatingFile::kDefaultLimit, int files = 3);
    // Entries after seq (0: all kept), oldest first; returns the newest seq, or seq if none.
    std::uint64_t since(std::uint64_t seq, std::vector<EventEntry>& out) const;
    // Waits (real time, bounded) until the worker has written every entry added so far.
    bool flush(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    std::uint64_t lost() const; // entries never written because the disk fell behind
    std::string fileError() const;

    // "YYYY-MM-DD HH:MM:SS  text"
    static std::string fileLine(const EventEntry& e, LocalStamp& stamp);

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable written_;
    std::deque<EventEntry> kept_;
    std::vector<EventEntry> waiting_;
    std::uint64_t next_ = 1;
    std::uint64_t writtenUpTo_ = 0;
    std::uint64_t lost_ = 0;
    bool stop_ = false;
    bool haveFile_ = false;
    RotatingFile file_;
    std::string fileError_;
    std::thread worker_;
};

// The application's one event log; logEvent() adds to it from anywhere.
EventLog& appEventLog();
void logEvent(std::string text);

} // namespace quorvel
