// Sending the whole model to the device: a fixed sequence of frames, each followed by the pause
// the device needs. The steps are only a plan; each frame is built from DeviceState when its turn
// comes, so an edit made during the upload goes out with the value it left.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "link/commands.h"
#include "link/device_state.h"
#include "link/edit_sink.h"

namespace quorvel {

struct UploadStep {
    char letter = 0;
    int first = 0;  // the command's selector (Q: the value)
    int second = 0; // G: the band
    std::chrono::milliseconds pause{20};
};

// The upload in order: 187 frames (167, then the send levels of 18 sources, delay, reverberation).
const std::vector<UploadStep>& uploadPlan();
inline constexpr int kUploadFrames = 187;
// The device takes a bitmap frame in pieces; it needs this long after the last one before A.
inline constexpr std::chrono::milliseconds kUploadNamePause{150};
inline constexpr std::chrono::milliseconds kUploadUnitPause{100};

// The datagrams of one step as they go on the wire: one frame, or for V its pieces, each a frame
// of its own so that nothing can be queued between them (10 ms after each piece, the step's pause
// after the last). Empty when the builder has nothing to send.
std::vector<OutgoingFrame> buildUploadStep(const DeviceState& s, const UploadStep& step);

// Walks the plan through a sink, one step whenever the line is idle: the paced sender then keeps
// every pause, and a live edit queued meanwhile goes out between two steps instead of waiting for
// the whole upload. Owner thread only (it reads DeviceState).
class BulkUpload {
public:
    explicit BulkUpload(const DeviceState& s) : state_(s) {}

    // Queues the next step when lineIdle and the link is online; true while there is more to do.
    // Going offline ends it where it stands.
    bool pump(EditSink& sink, bool lineIdle);
    // The next pump sends Q 1 (the device must resume its reports) and ends; offline, it just ends.
    void cancel() { cancelled_ = true; }

    int sent() const { return sent_; } // steps queued so far
    int total() const { return kUploadFrames; }
    bool finished() const { return finished_; }
    bool completed() const { return finished_ && sent_ == kUploadFrames && !interrupted_; }
    bool interrupted() const { return interrupted_; } // cancelled, or the link went offline

private:
    const DeviceState& state_;
    int sent_ = 0;
    bool cancelled_ = false;
    bool finished_ = false;
    bool interrupted_ = false;
};

} // namespace quorvel
