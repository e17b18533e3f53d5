// Every frame on the link, one line each: "HH:MM:SS.uuuuuu > FRAME" sent, "... < FRAME" accepted,
// "... ! TEXT dropped: REASON" for received text thrown away. The hooks only stamp the line and
// queue it (bounded: an overflow is counted and said in the log); a worker formats the batch a few
// times a second, appends it to the file and hands it to the panel. Whoever owns the link hooks
// it in only while a file is written or the panel is open, so a closed log costs one null check.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "log/frame_tap.h"
#include "log/log_time.h"

namespace quorvel {

struct DispatchResult;
struct DropRecord;

struct TrafficLine {
    WallClock::time_point time;
    char direction = '>'; // '>' sent, '<' accepted, '!' dropped
    char letter = 0;      // the frame's letter; 0 for text that was no frame
    std::string text;     // the frame, or "TEXT dropped: REASON"
    std::string line;     // the whole line, filled in by the worker
};

// Status and levels reports: received Q and P, twenty and more a second.
bool isReportLine(const TrafficLine& l);

// What the panel shows. Reports are hidden unless asked for; a non-empty letter set keeps only the
// frames of those letters (a report letter typed in shows its reports as well), and lines without
// a letter (text from a stranger, junk) always show.
struct TrafficFilter {
    std::string letters;
    bool showReports = false;
    bool shows(const TrafficLine& l) const;
};

class TrafficLog final : public FrameTap {
public:
    static constexpr std::size_t kMaxWaiting = 32768; // lines queued for the worker
    static constexpr std::size_t kMaxTapped = 10000;  // lines waiting for the panel to take them

    explicit TrafficLog(std::chrono::milliseconds period = std::chrono::milliseconds(100));
    ~TrafficLog(); // writes what waits, flushes, closes
    TrafficLog(const TrafficLog&) = delete;
    TrafficLog& operator=(const TrafficLog&) = delete;

    // Appends to the file. Lines already queued go to it as well.
    bool openFile(const std::filesystem::path& path, std::string& error);
    bool fileOpen() const;
    // Writes what is queued, then closes the file.
    void closeFile();
    // The panel is showing: from now on the worker keeps its lines for takeTapped().
    void setTapped(bool on);
    bool tapped() const;
    // Whether the link should be hooked in at all.
    bool active() const { return fileOpen() || tapped(); }
    // Moves out the lines formatted since the last call; returns how many the panel missed
    // because it did not take them in time.
    std::uint64_t takeTapped(std::vector<TrafficLine>& out);

    // The hooks. frameSent on the sender's thread, the others on the link owner's.
    void frameSent(std::string_view frame, WallClock::time_point firstDatagram) override;
    // One accepted frame: "<", or "!" when the parsers threw it away whole; the parts they could
    // not place follow as "!" lines.
    void received(std::string_view frame, const DispatchResult& result);
    // Text the receive side threw away (bad checksum, wrong sender, ...).
    void dropped(const DropRecord& drop);
    void add(TrafficLine line);

    // Waits (real time, bounded) until the worker has written every line queued so far.
    bool flush(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    std::uint64_t overflowed() const; // lines lost because the worker fell behind
    std::string fileError() const;

    static void formatLine(TrafficLine& l, LocalStamp& stamp);

private:
    void run();

    const std::chrono::milliseconds period_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable written_;
    std::vector<TrafficLine> waiting_;
    std::uint64_t queued_ = 0; // lines ever queued
    std::uint64_t writtenCount_ = 0;
    std::uint64_t overflow_ = 0; // since the worker last said so
    std::uint64_t overflowTotal_ = 0;
    bool stop_ = false;
    bool tapped_ = false;
    std::string fileError_;

    mutable std::mutex fileMutex_; // the worker holds it while it writes
    std::FILE* file_ = nullptr;
    std::atomic<bool> hasFile_{false}; // read without waiting for a write in progress

    std::mutex tapMutex_;
    std::vector<TrafficLine> tap_;
    std::uint64_t tapLost_ = 0;

    std::thread worker_;
};

} // namespace quorvel
