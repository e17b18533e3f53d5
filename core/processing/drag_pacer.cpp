#include "processing/drag_pacer.h"

namespace quorvel {

bool DragPacer::move(Clock::time_point now, int spanTimeMs, bool finished) {
    if (finished) {
        dragging_ = false;
        pending_ = false;
        lastSend_ = now;
        return true;
    }
    if (!dragging_) {
        // The first step of a drag goes out at once; the span counts from it.
        dragging_ = true;
        pending_ = false;
        lastSend_ = now;
        lastMove_ = now;
        return true;
    }
    // A clock that stepped back (a suspended machine, a test) restarts the span rather than
    // holding every frame until it has caught up again.
    if (now < lastSend_) lastSend_ = now;
    lastMove_ = now;
    if (now - lastSend_ > std::chrono::milliseconds(spanTimeMs < 0 ? 0 : spanTimeMs)) {
        lastSend_ = now;
        pending_ = false;
        return true;
    }
    pending_ = true;
    return false;
}

bool DragPacer::flushDue(Clock::time_point now) {
    if (!pending_) return false;
    if (now < lastMove_) lastMove_ = now;
    if (now - lastMove_ <= kDragSettle) return false;
    pending_ = false;
    lastSend_ = now;
    return true;
}

} // namespace quorvel
