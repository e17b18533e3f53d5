// One outbound queue with its own thread. Every frame carries the pause the device needs after it
// before the next one may follow, so callers (the UI, the CLI, bulk transfers) queue and return at
// once; nobody else ever sleeps for the device's sake.
//
// The latest value wins: a frame that carries a whole record (a fader level, a band, a row)
// replaces a queued frame for the same record that has not started yet, in that frame's place. A
// fader dragged faster than the device takes frames therefore costs one frame per pause, and the
// value it stops at is always the one that goes out last.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/clock.h"
#include "link/commands.h"
#include "log/frame_tap.h"

namespace quorvel {

// Where a frame goes: the text as the user gave it (for messages) and the address read from it
// once, when the destination was set.
struct Destination {
    std::string host;
    std::uint16_t port = 0;
    sockaddr_in address{};
};

// The parsed form of host:port; nullopt when host is not a dotted IPv4 address.
std::optional<Destination> makeDestination(std::string_view host, std::uint16_t port);

struct SenderStats {
    std::uint64_t framesSent = 0; // frames whose every datagram went out
    std::uint64_t datagramsSent = 0;
    std::uint64_t failures = 0;  // frames with at least one datagram refused or cut short
    std::uint64_t coalesced = 0; // queued frames replaced by a newer value of the same record
    std::string lastError;
};

// Which queued frames a frame may replace. Frames without a key (pieces, bare A, Q, W, X, Z and
// anything unreadable) never replace and are never replaced.
struct CoalesceKey {
    char letter = 0;
    int first = -1;  // the record selector, -1 for letters without one (M, N)
    int second = -1; // G: the band
    // Fields the frame shares with frames for other records of its letter (G carries the channel's
    // PEQ switch, O the phantom mask of channels 1..8): a replacement may not move this frame ahead
    // of one of those, or the older shared value would arrive last.
    int shareFirst = -1;
    bool sharesLetter = false;
};
std::optional<CoalesceKey> coalesceKeyOf(const OutgoingFrame& frame);

class PacedSender {
public:
    // Sends one datagram; true when all of it went out. Runs on the sender thread.
    using SendFn = std::function<bool(const Destination&, std::string_view datagram, std::string& error)>;
    using FailureFn = std::function<void(const std::string& error)>; // on the sender thread

    // OwnThread: a thread sends each frame when its turn comes. Manual: nothing runs by itself,
    // pump() sends what the clock says is due (tests walk pacing through simulated time with it).
    enum class Threading : std::uint8_t { OwnThread, Manual };

    static const LinkClock& realTime();

    // send may also be called on the thread that enqueues: a single-datagram frame that finds the
    // line free (nothing queued, no pause running) goes out at once instead of waking the thread.
    explicit PacedSender(SendFn send, const LinkClock& clock = realTime(),
                         Threading threading = Threading::OwnThread);
    ~PacedSender(); // frames still queued are dropped
    PacedSender(const PacedSender&) = delete;
    PacedSender& operator=(const PacedSender&) = delete;

    void enqueue(OutgoingFrame frame, Destination to);
    // Blocks until every queued frame is out and its pause has run; false on time-out (real time).
    // For owners without an event loop (the CLI); an owner with one polls settled() instead.
    bool drain(std::chrono::milliseconds timeout);
    bool idle() const;    // nothing queued, nothing going out
    bool settled() const; // idle, and the last frame's pause has run
    void clear();         // drops what has not started yet
    void setFailureHandler(FailureFn fn);
    // Sees every frame that went out whole (nullptr: nobody, and nothing is stamped). Set and
    // cleared under the sender's lock, so once cleared it is not called again.
    void setFrameTap(FrameTap* tap);
    SenderStats stats() const;

    // Manual threading: sends every datagram that is due now; returns how many went.
    int pump();
    // When the next queued datagram may go; empty when nothing waits.
    std::optional<Clock::time_point> nextDue() const;
    // Wakes the thread to look at the clock again (a test clock moved).
    void clockMoved() { wake_.notify_all(); }

private:
    struct Item {
        OutgoingFrame frame;
        Destination to;
        std::optional<CoalesceKey> key;
        std::vector<std::string> pieces; // frames in pieces only
        std::size_t next = 0;            // datagrams already sent
        bool started = false;            // its first datagram is on its way: never replaced
        bool ok = true;
        std::string error;
        std::chrono::system_clock::time_point firstOut{}; // stamped only while a tap watches
    };
    void run();
    bool coalesce(Item& item);
    // Called with the lock held, the line free and the queue's front ready; returns with it held.
    void step(std::unique_lock<std::mutex>& lock);
    void sendDirect(std::unique_lock<std::mutex>& lock, Item& item);
    void finished(std::unique_lock<std::mutex>& lock, Item& item);

    SendFn send_;
    const LinkClock& clock_;
    const bool manual_;
    FailureFn onFailure_;
    FrameTap* tap_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    std::deque<Item> queue_;
    bool busy_ = false;
    Clock::time_point lineFreeAt_{}; // the last datagram's pause ends here
    bool stop_ = false;
    SenderStats stats_;
    std::thread thread_;
};

} // namespace quorvel
