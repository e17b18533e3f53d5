// Where the edit operations put the frames that carry an edit. The application hands them to the
// paced sender, tests record them; the operations never touch a socket and never sleep.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "link/commands.h"
#include "link/device_state.h"

namespace quorvel {

class EditSink {
public:
    virtual ~EditSink() = default;
    virtual void queue(OutgoingFrame frame) = 0;
};

// The device drops frames of a group that arrive back to back, so every member copy on the wire
// is followed by this pause before the next member.
inline constexpr std::chrono::milliseconds kMemberPause{10};

// Queues a frame only while the link is online and only when the builder had something to send
// (an empty text means the selector names no record the command can carry). True when queued.
inline bool queueIfOnline(const DeviceState& s, EditSink& sink, std::string text,
                          std::chrono::milliseconds pauseAfter = std::chrono::milliseconds{0}) {
    if (!s.link.linkOnline || text.empty()) return false;
    sink.queue(OutgoingFrame{std::move(text), pauseAfter, false});
    return true;
}

// Hands every frame to a function: the application's way into the paced sender.
class CallbackSink : public EditSink {
public:
    explicit CallbackSink(std::function<void(OutgoingFrame)> fn) : fn_(std::move(fn)) {}
    void queue(OutgoingFrame frame) override {
        if (fn_) fn_(std::move(frame));
    }

private:
    std::function<void(OutgoingFrame)> fn_;
};

// Takes nothing: for storing an edit whose frames are sent later in one go.
class DiscardSink : public EditSink {
public:
    void queue(OutgoingFrame) override {}
};

// Keeps every frame; for tests and for measuring.
class RecordingSink : public EditSink {
public:
    void queue(OutgoingFrame frame) override { frames.push_back(std::move(frame)); }
    std::vector<OutgoingFrame> frames;
};

} // namespace quorvel
