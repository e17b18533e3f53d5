// The receive side: frames are cut out of the datagram stream, checked, and each accepted report
// is parsed into DeviceState. What the link must do in response (go online, send Q 1, light the
// report indicator) comes back as a DispatchResult for the owner to act on, on its own thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "link/device_state.h"

namespace quorvel {

// Why received text did not (wholly) reach DeviceState. The assembler and the receive thread drop
// whole texts; the parsers drop the parts of an accepted report they cannot place.
enum class DropReason : std::uint8_t {
    TooShort,          // shorter than the shortest frame, or a fragment of two characters or fewer
    BadChecksum,       // checksum digits that do not match the text (lower case included)
    NoEnd,             // a frame start whose end mark never came before the next start
    NoStart,           // an end mark without a frame start before it
    WrongSender,       // a datagram from anyone but the device
    UnusedLetter,      // a report letter the application does not take
    WrongLength,       // a report or section that is not a whole number of its records
    SectionOutOfRange, // records or sections beyond those that exist
};
inline constexpr std::size_t kDropReasons = 8;
using DropCounts = std::array<std::uint64_t, kDropReasons>;
// Lower-case words for logs and the monitor: "bad checksum", "wrong sender", ...
const char* dropReasonText(DropReason why);

// One drop as the owner sees it.
struct DropRecord {
    DropReason reason = DropReason::TooShort;
    char letter = 0;  // parser drops: the report's letter
    int section = 0;  // parser drops: the section, 0 for the report as a whole
    std::string text; // receive-side drops: the start of what was thrown away
};

class FrameAssembler {
public:
    // Called for every text the assembler throws away, with the text (a view into its buffer).
    using DropFn = std::function<void(DropReason, std::string_view text)>;
    void setDropHandler(DropFn fn) { onDrop_ = std::move(fn); }

    // Joins text with the leftover, hands every accepted frame ("%".."#", checksum valid) to
    // onFrame in order, keeps the unfinished rest. Returns the number of frames accepted.
    int feed(std::string_view text, const std::function<void(std::string_view)>& onFrame);
    const std::string& leftover() const { return leftover_; }
    void reset() {
        leftover_.clear();
        leftoverHasStart_ = leftoverHasEnd_ = false;
    }

private:
    void dropped(DropReason why, std::string_view text) const {
        if (onDrop_) onDrop_(why, text);
    }
    DropFn onDrop_;
    std::string leftover_;
    // Whether the leftover holds a "%" / "#": while a frame trickles in, a datagram that brings
    // neither marker the leftover lacks cannot complete anything, and the leftover is not rescanned.
    bool leftoverHasStart_ = false;
    bool leftoverHasEnd_ = false;
    void keepTail(std::string_view rest);
};

enum class ReportKind : std::uint8_t { FullState, Names, Status, Levels, Ignored, Rejected };

struct ReportDrop {
    DropReason reason = DropReason::WrongLength;
    std::uint8_t section = 0; // 0: the report as a whole
};

struct DispatchResult {
    ReportKind kind = ReportKind::Ignored;
    char letter = 0;
    bool wentOnline = false;             // full-state report: handshake finished, link online
    bool sendResumeReports = false;      // names report: the owner sends Q 1
    bool reportIndicatorOn = false;      // first accepted status report: show "ONLINE"
    std::uint8_t channelOpenChanged = 0; // bit k-1: channelOpen of channel k changed
    bool moveFaders = false;             // levels report while online: strips follow the device
    // What a status or levels report stored, so the views learn which fields it wrote: the status
    // values read (0..26), the records of each levels section (outputs' level, mute and line level,
    // inputs' level) and whether it carried the report number.
    std::uint8_t statusValues = 0;
    std::array<std::uint8_t, 4> levelRecords{};
    bool reportNumberStored = false;
    // What the parsers could not place: the first kKeptDrops drops, and how many there were.
    static constexpr std::size_t kKeptDrops = 8;
    std::uint8_t dropCount = 0;
    std::array<ReportDrop, kKeptDrops> drops{};
    void addDrop(DropReason why, int section) {
        if (dropCount < kKeptDrops) drops[dropCount] = {why, static_cast<std::uint8_t>(section)};
        if (dropCount < 0xFF) ++dropCount;
    }
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
