// One outbound queue with its own thread. Every frame carries the pause the device needs after it
// before the next one may follow, so callers (the UI, the CLI, bulk transfers) queue and return at
// once; nobody else ever sleeps for the device's sake.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "link/commands.h"

namespace quorvel {

struct Destination {
    std::string host;
    std::uint16_t port = 0;
};

struct SenderStats {
    std::uint64_t framesSent = 0; // frames whose every datagram went out
    std::uint64_t datagramsSent = 0;
    std::uint64_t failures = 0; // frames with at least one datagram refused or cut short
    std::string lastError;
};

class PacedSender {
public:
    // Sends one datagram; true when all of it went out. Runs on the sender thread.
    using SendFn = std::function<bool(const Destination&, std::string_view datagram, std::string& error)>;
    using FailureFn = std::function<void(const std::string& error)>; // on the sender thread

    // send may also be called on the thread that enqueues: a single-datagram frame that finds the
    // line free (nothing queued, no pause running) goes out at once instead of waking the thread.
    explicit PacedSender(SendFn send);
    ~PacedSender(); // frames still queued are dropped
    PacedSender(const PacedSender&) = delete;
    PacedSender& operator=(const PacedSender&) = delete;

    void enqueue(OutgoingFrame frame, Destination to);
    // Waits until every queued frame is out and its pause has run; false on time-out.
    bool drain(std::chrono::milliseconds timeout);
    bool idle() const;
    void clear(); // drops what has not started yet
    void setFailureHandler(FailureFn fn);
    SenderStats stats() const;

private:
    struct Item {
        OutgoingFrame frame;
        Destination to;
    };
    void run();
    bool pause(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds d);
    bool waitLineFree(std::unique_lock<std::mutex>& lock);
    // Called with the lock held; returns with it held. Sends every datagram of the frame.
    void transmit(std::unique_lock<std::mutex>& lock, Item& item);

    SendFn send_;
    FailureFn onFailure_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    std::deque<Item> queue_;
    bool busy_ = false;
    std::chrono::steady_clock::time_point lineFreeAt_{}; // the last frame's pause ends here
    bool stop_ = false;
    SenderStats stats_;
    std::thread thread_;
};

} // namespace quorvel
