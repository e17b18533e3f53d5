#include "log/traffic_log.h"

#include <cerrno>
#include <cstring>

#include "link/reports.h"

namespace quorvel {

namespace {

// Junk from the wire must not break the one-line format.
void appendPrintable(std::string& out, std::string_view text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else {
            out += c;
        }
    }
}

char letterOf(std::string_view frame) {
    return frame.size() >= 2 && frame[0] == '%' ? frame[1] : 0;
}

} // namespace

bool isReportLine(const TrafficLine& l) {
    return l.direction != '>' && (l.letter == 'Q' || l.letter == 'P');
}

bool TrafficFilter::shows(const TrafficLine& l) const {
    const bool named = l.letter != 0 && letters.find(l.letter) != std::string::npos;
    if (isReportLine(l) && !showReports && !named) return false;
    if (letters.empty() || l.letter == 0) return true;
    return named;
}

TrafficLog::TrafficLog(std::chrono::milliseconds period) : period_(period), worker_([this] { run(); }) {}

TrafficLog::~TrafficLog() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
    std::lock_guard lock(fileMutex_);
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

bool TrafficLog::openFile(const std::filesystem::path& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (!f) {
        error = path.string() + ": " + std::strerror(errno);
        std::lock_guard lock(mutex_);
        fileError_ = error;
        return false;
    }
    std::lock_guard lock(fileMutex_);
    if (file_) std::fclose(file_);
    file_ = f;
    hasFile_.store(true);
    return true;
}

void TrafficLog::closeFile() {
    flush();
    std::lock_guard lock(fileMutex_);
    if (file_) std::fclose(file_);
    file_ = nullptr;
    hasFile_.store(false);
}

bool TrafficLog::fileOpen() const {
    return hasFile_.load();
}

void TrafficLog::setTapped(bool on) {
    std::lock_guard lock(mutex_);
    tapped_ = on;
    if (!on) {
        std::lock_guard tap(tapMutex_);
        tap_.clear();
    }
}

bool TrafficLog::tapped() const {
    std::lock_guard lock(mutex_);
    return tapped_;
}

std::uint64_t TrafficLog::takeTapped(std::vector<TrafficLine>& out) {
    std::lock_guard lock(tapMutex_);
    if (out.empty())
        out.swap(tap_);
    else
        for (TrafficLine& l : tap_)
            out.push_back(std::move(l));
    tap_.clear();
    const std::uint64_t lost = tapLost_;
    tapLost_ = 0;
    return lost;
}

void TrafficLog::add(TrafficLine line) {
    bool full = false;
    {
        std::lock_guard lock(mutex_);
        if (waiting_.size() >= kMaxWaiting) {
            ++overflow_;
            ++overflowTotal_;
            return;
        }
        waiting_.push_back(std::move(line));
        ++queued_;
        full = waiting_.size() == kMaxWaiting / 2;
    }
    // The worker looks by itself every period; it is only woken early when a burst may outrun it.
    if (full) wake_.notify_one();
}

void TrafficLog::frameSent(std::string_view frame, WallClock::time_point firstDatagram) {
    add({firstDatagram, '>', letterOf(frame), std::string(frame), {}});
}

void TrafficLog::received(std::string_view frame, const DispatchResult& r) {
    const auto now = WallClock::now();
    const char letter = letterOf(frame);
    const std::size_t kept = std::min<std::size_t>(r.dropCount, DispatchResult::kKeptDrops);
    for (std::size_t i = 0; i < kept; ++i) {
        if (r.drops[i].section != 0) continue;
        std::string text;
        appendPrintable(text, frame);
        text += " dropped: ";
        text += dropReasonText(r.drops[i].reason);
        add({now, '!', letter, std::move(text), {}});
        return;
    }
    add({now, '<', letter, std::string(frame), {}});
    for (std::size_t i = 0; i < kept; ++i) {
        std::string text(1, letter ? letter : '?');
        text += " section " + std::to_string(r.drops[i].section) + " dropped: ";
        text += dropReasonText(r.drops[i].reason);
        add({now, '!', letter, std::move(text), {}});
    }
}

void TrafficLog::dropped(const DropRecord& d) {
    std::string text;
    appendPrintable(text, d.text);
    text += " dropped: ";
    text += dropReasonText(d.reason);
    add({WallClock::now(), '!', 0, std::move(text), {}});
}

bool TrafficLog::flush(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = queued_;
    wake_.notify_one();
    return written_.wait_for(lock, timeout, [&] { return writtenCount_ >= target; });
}

std::uint64_t TrafficLog::overflowed() const {
    std::lock_guard lock(mutex_);
    return overflowTotal_;
}

std::string TrafficLog::fileError() const {
    std::lock_guard lock(mutex_);
    return fileError_;
}

void TrafficLog::formatLine(TrafficLine& l, LocalStamp& stamp) {
    l.line.clear();
    l.line.reserve(18 + l.text.size());
    stamp.appendTime(l.line, l.time);
    l.line += ' ';
    l.line += l.direction;
    l.line += ' ';
    if (l.direction == '!')
        l.line += l.text; // made printable when it was built
    else
        appendPrintable(l.line, l.text);
}

void TrafficLog::run() {
    LocalStamp stamp;
    std::vector<TrafficLine> batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!stop_ && waiting_.size() < kMaxWaiting / 2) wake_.wait_for(lock, period_);
        const bool stopping = stop_;
        batch.swap(waiting_);
        const std::uint64_t lost = overflow_;
        overflow_ = 0;
        const bool tapped = tapped_;
        const std::uint64_t upTo = queued_;
        lock.unlock();

        if (lost > 0)
            batch.push_back(
                {WallClock::now(), '!', 0, std::to_string(lost) + " lines dropped: log fell behind", {}});
        for (TrafficLine& l : batch)
            formatLine(l, stamp);
        if (!batch.empty()) {
            std::lock_guard file(fileMutex_);
            if (file_) {
                bool ok = true;
                for (const TrafficLine& l : batch) {
                    ok = std::fwrite(l.line.data(), 1, l.line.size(), file_) == l.line.size() && ok;
                    ok = std::fputc('\n', file_) != EOF && ok;
                }
                // At most one period after the line was queued, the file holds it.
                ok = std::fflush(file_) == 0 && ok;
                if (!ok) {
                    std::lock_guard l(mutex_);
                    fileError_ = std::strerror(errno);
                }
            }
        }
        if (tapped && !batch.empty()) {
            std::lock_guard tap(tapMutex_);
            for (TrafficLine& l : batch)
                tap_.push_back(std::move(l));
            if (tap_.size() > kMaxTapped) {
                const std::size_t extra = tap_.size() - kMaxTapped;
                tap_.erase(tap_.begin(), tap_.begin() + static_cast<std::ptrdiff_t>(extra));
                tapLost_ += extra;
            }
        }
        batch.clear();

        lock.lock();
        writtenCount_ = upTo;
        written_.notify_all();
        if (stopping && waiting_.empty()) break;
    }
}

} // namespace quorvel
