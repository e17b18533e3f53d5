#include "log/event_log.h"

namespace quorvel {

EventLog::EventLog() : worker_([this] { run(); }) {}

EventLog::~EventLog() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void EventLog::add(std::string text) {
    for (std::size_t at = text.find_first_of("\r\n"); at != std::string::npos;
         at = text.find_first_of("\r\n", at)) {
        const std::size_t end = text.find_first_not_of("\r\n", at);
        text.replace(at, (end == std::string::npos ? text.size() : end) - at, " / ");
        at += 3;
    }
    EventEntry e{0, WallClock::now(), std::move(text)};
    {
        std::lock_guard lock(mutex_);
        e.seq = next_++;
        kept_.push_back(e);
        if (kept_.size() > kKeptInMemory) kept_.pop_front();
        if (haveFile_) {
            if (waiting_.size() >= kMaxWaiting) {
                ++lost_;
                writtenUpTo_ = e.seq; // nothing will come for it: flush() must not wait for it
                return;
            }
            waiting_.push_back(std::move(e));
        } else {
            writtenUpTo_ = e.seq;
        }
    }
    wake_.notify_one();
}

bool EventLog::openFile(const std::filesystem::path& path, std::string& error, std::uintmax_t limitBytes,
                        int files) {
    std::unique_lock lock(mutex_);
    // The worker only touches the file with the lock released while it writes a batch; waiting
    // for it to finish keeps the two from sharing it.
    written_.wait(lock, [this] { return waiting_.empty() && writtenUpTo_ + 1 >= next_; });
    const bool first = !haveFile_;
    file_.setLimits(limitBytes, files);
    if (!file_.open(path, error)) {
        haveFile_ = false;
        fileError_ = error;
        return false;
    }
    haveFile_ = true;
    fileError_.clear();
    if (first) {
        waiting_.assign(kept_.begin(), kept_.end());
        if (!waiting_.empty()) writtenUpTo_ = waiting_.front().seq - 1;
    }
    wake_.notify_one();
    return true;
}

std::uint64_t EventLog::since(std::uint64_t seq, std::vector<EventEntry>& out) const {
    std::lock_guard lock(mutex_);
    std::uint64_t last = seq;
    for (const EventEntry& e : kept_) {
        if (e.seq <= seq) continue;
        out.push_back(e);
        last = e.seq;
    }
    return last;
}

bool EventLog::flush(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = next_ - 1;
    return written_.wait_for(lock, timeout, [&] { return writtenUpTo_ >= target; });
}

std::uint64_t EventLog::lost() const {
    std::lock_guard lock(mutex_);
    return lost_;
}

std::string EventLog::fileError() const {
    std::lock_guard lock(mutex_);
    return fileError_;
}

std::string EventLog::fileLine(const EventEntry& e, LocalStamp& stamp) {
    std::string line;
    line.reserve(22 + e.text.size());
    stamp.appendDateTime(line, e.time);
    line += "  ";
    line += e.text;
    return line;
}

void EventLog::run() {
    LocalStamp stamp;
    std::vector<EventEntry> batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !waiting_.empty(); });
        if (waiting_.empty() && stop_) break;
        batch.swap(waiting_);
        lock.unlock();
        bool ok = true;
        for (const EventEntry& e : batch)
            ok = file_.writeLine(fileLine(e, stamp)) && ok;
        file_.flush();
        const std::uint64_t last = batch.back().seq;
        batch.clear();
        lock.lock();
        if (!ok) fileError_ = file_.error();
        if (last > writtenUpTo_) writtenUpTo_ = last;
        written_.notify_all();
    }
    file_.close();
}

EventLog& appEventLog() {
    static EventLog log;
    return log;
}

void logEvent(std::string text) {
    appEventLog().add(std::move(text));
}

} // namespace quorvel
