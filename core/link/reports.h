// The receive side: frames are cut out of the datagram stream, checked, and each accepted report
// is parsed into DeviceState. What the link must do in response (go online, send Q 1, light the
// report indicator) comes back as a DispatchResult for the owner to act on, on its own thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "link/device_state.h"

namespace quorvel {

class FrameAssembler {
public:
    // Joins text with the leftover, hands every accepted frame ("%".."#", checksum valid) to
    // onFrame in order, keeps the unfinished rest. Returns the number of frames accepted.
    int feed(std::string_view text, const std::function<void(std::string_view)>& onFrame);
    const std::string& leftover() const { return leftover_; }
    void reset() {
        leftover_.clear();
        leftoverHasStart_ = leftoverHasEnd_ = false;
    }

private:
    std::string leftover_;
    // Whether the leftover holds a "%" / "#": while a frame trickles in, a datagram that brings
    // neither marker the leftover lacks cannot complete anything, and the leftover is not rescanned.
    bool leftoverHasStart_ = false;
    bool leftoverHasEnd_ = false;
    void keepTail(std::string_view rest);
};

enum class ReportKind : std::uint8_t { FullState, Names, Status, Levels, Ignored, Rejected };

struct DispatchResult {
    ReportKind kind = ReportKind::Ignored;
    char letter = 0;
    bool wentOnline = false;             // full-state report: handshake finished, link online
    bool sendResumeReports = false;      // names report: the owner sends Q 1
    bool reportIndicatorOn = false;      // first accepted status report: show "ONLINE"
    std::uint8_t channelOpenChanged = 0; // bit k-1: channelOpen of channel k changed
    bool moveFaders = false;             // levels report while online: strips follow the device
};

// Individual parsers: false (and nothing stored) when the frame fails validation.
bool parseFullStateReport(std::string_view frame, DeviceState& s);
bool parseNamesReport(std::string_view frame, DeviceState& s);
bool parseStatusReport(std::string_view frame, DeviceState& s);
bool parseLevelsReport(std::string_view frame, DeviceState& s);

class ReportDispatcher {
public:
    explicit ReportDispatcher(DeviceState& s) : state_(s) {}
    DispatchResult dispatch(std::string_view frame, Clock::time_point now);
    // The same for a frame that FrameAssembler has just accepted: its checksum is not computed a
    // second time (only the frame's outline is checked), which halves the cost of a status report.
    DispatchResult dispatchAccepted(std::string_view frame, Clock::time_point now);
    void resetIndicator() { reportIndicator_ = false; }

private:
    DispatchResult run(std::string_view frame, Clock::time_point now, bool verify);
    DeviceState& state_;
    bool reportIndicator_ = false; // starts off; nothing turns it off again
};

// Shown meter value: below 8 shows as 0, above 70 as 70.
inline int shownMeter(int meter) {
    return meter < 8 ? 0 : (meter > 70 ? 70 : meter);
}

} // namespace quorvel
