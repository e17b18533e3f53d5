#include "link/paced_sender.h"

#include <thread>

namespace quorvel {

PacedSender::PacedSender(SendFn send) : send_(std::move(send)) {
    thread_ = std::thread([this] { run(); });
}

PacedSender::~PacedSender() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void PacedSender::enqueue(OutgoingFrame frame, Destination to) {
    std::unique_lock lock(mutex_);
    if (queue_.empty() && !busy_ && !stop_ && !frame.inPieces &&
        std::chrono::steady_clock::now() >= lineFreeAt_) {
        // The line is free: skipping the hand-over to the sender thread saves a wake-up on
        // every fader move.
        Item item{std::move(frame), std::move(to)};
        transmit(lock, item);
        if (!queue_.empty()) wake_.notify_one();
        return;
    }
    queue_.push_back({std::move(frame), std::move(to)});
    lock.unlock();
    wake_.notify_one();
}

bool PacedSender::drain(std::chrono::milliseconds timeout) {
    auto until = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(mutex_);
    if (!drained_.wait_until(lock, until, [this] { return queue_.empty() && !busy_; })) return false;
    // The last frame's pause belongs to it: a caller that closes the socket next must not cut it.
    auto freeAt = lineFreeAt_;
    lock.unlock();
    if (freeAt > until) return false;
    std::this_thread::sleep_until(freeAt);
    return true;
}

bool PacedSender::idle() const {
    std::lock_guard lock(mutex_);
    return queue_.empty() && !busy_;
}

void PacedSender::clear() {
    std::lock_guard lock(mutex_);
    queue_.clear();
    if (!busy_) drained_.notify_all();
}

void PacedSender::setFailureHandler(FailureFn fn) {
    std::lock_guard lock(mutex_);
    onFailure_ = std::move(fn);
}

SenderStats PacedSender::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

bool PacedSender::pause(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds d) {
    if (d.count() <= 0) return !stop_;
    auto until = std::chrono::steady_clock::now() + d;
    return !wake_.wait_until(lock, until, [this] { return stop_; });
}

bool PacedSender::waitLineFree(std::unique_lock<std::mutex>& lock) {
    auto until = lineFreeAt_;
    if (std::chrono::steady_clock::now() >= until) return !stop_;
    return !wake_.wait_until(lock, until, [this] { return stop_; });
}

void PacedSender::transmit(std::unique_lock<std::mutex>& lock, Item& item) {
    busy_ = true;
    std::vector<std::string> pieces;
    if (item.frame.inPieces)
        pieces = splitPieces(item.frame.text);
    else
        pieces.push_back(item.frame.text);

    bool ok = true;
    std::string error;
    std::uint64_t datagrams = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        lock.unlock();
        bool sent = send_(item.to, pieces[i], error);
        lock.lock();
        if (sent) ++datagrams;
        ok = ok && sent;
        // The device drops what arrives while it is still digesting a slow command, so the
        // pause runs even after a failed piece: the next frame must not come early.
        bool last = i + 1 == pieces.size();
        if (!last && !pause(lock, item.frame.pauseAfter)) break;
    }
    lineFreeAt_ = std::chrono::steady_clock::now() + item.frame.pauseAfter;
    stats_.datagramsSent += datagrams;
    FailureFn failed;
    if (ok) {
        ++stats_.framesSent;
    } else {
        ++stats_.failures;
        stats_.lastError = error;
        failed = onFailure_;
    }
    busy_ = false;
    if (failed) {
        lock.unlock();
        failed(error);
        lock.lock();
    }
    if (queue_.empty()) drained_.notify_all();
}

void PacedSender::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || (!queue_.empty() && !busy_); });
        if (stop_) break;
        if (!waitLineFree(lock)) break;
        if (queue_.empty() || busy_) continue; // a direct send took the line meanwhile
        Item item = std::move(queue_.front());
        queue_.pop_front();
        transmit(lock, item);
    }
    drained_.notify_all();
}

} // namespace quorvel
