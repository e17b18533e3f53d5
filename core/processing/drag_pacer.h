// How often a drag on a curve may reach the device. During a drag one frame goes out at most
// every spanTime ms; a move that had to wait is sent 200 ms after the hand stops, so the value
// the curve is left at always arrives. Time comes from a monotonic clock: the time of day jumps
// (midnight, a clock change) and would leave the last value unsent.
#pragma once

#include <chrono>

#include "link/device_state.h"

namespace quorvel {

inline constexpr std::chrono::milliseconds kDragSettle{200};

class DragPacer {
public:
    // A move of the drag: true when its frame may go now. finished (the release) always sends.
    bool move(Clock::time_point now, int spanTimeMs, bool finished);
    // The pending move's frame is due (200 ms after the last move); clears the pending mark.
    bool flushDue(Clock::time_point now);
    bool pending() const { return pending_; }
    // What the pending move was about (the page's handle or band); -1 when nothing waits.
    int pendingTarget() const { return pending_ ? target_ : -1; }
    void setTarget(int target) { target_ = target; }
    void cancel() { pending_ = false; }

private:
    Clock::time_point lastSend_{};
    Clock::time_point lastMove_{};
    bool dragging_ = false;
    bool pending_ = false;
    int target_ = -1;
};

} // namespace quorvel
