// The AUX page's nine strips for one source at a time: each send level goes through applyEdit
// (I or J where the source has an output record, then a), and MUTE remembers the level it
// closed, per source and strip, so it survives a change of source or page.
#pragma once

#include <array>
#include <cstdint>

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/edit.h"

namespace quorvel {

inline constexpr int kAuxStrips = 9; // main, AUX 1..6, DELAY, Reverberation

// sendLevel[strip + 1] of source 1..18.
FieldId sendField(int source, int strip);

class AuxMutes {
public:
    AuxMutes();

    // A strip is muted while it holds a remembered level and its send is still closed; a send
    // opened elsewhere (a report, typed entry) ends the mute.
    bool muted(const DeviceState& s, int source, int strip) const;
    // The level the fader shows: the remembered one while muted, else the send's.
    std::int32_t shownLevel(const DeviceState& s, int source, int strip) const;

    // MUTE: closes the send and remembers its level, or reopens it at the remembered level.
    EditOutcome toggle(DeviceState& s, EditSink& sink, int source, int strip);
    // A fader move (finished: the release). Unmuted: an edit, sent on release only. Muted: only
    // the remembered level changes; the release sends what the device holds, the closed send.
    EditOutcome move(DeviceState& s, EditSink& sink, int source, int strip, std::int32_t level,
                     bool finished);

    // Changes made elsewhere: a remembered level whose send now stands open is forgotten, so a
    // later close of that send (a report, typed entry) is not taken for this MUTE again.
    void forgetOpened(const DeviceState& s, const ChangeSet& changed);

private:
    std::int32_t& kept(int source, int strip) {
        return kept_[static_cast<std::size_t>(source - 1)][static_cast<std::size_t>(strip)];
    }
    std::int32_t kept(int source, int strip) const {
        return kept_[static_cast<std::size_t>(source - 1)][static_cast<std::size_t>(strip)];
    }
    std::array<std::array<std::int32_t, kAuxStrips>, kInputRecords> kept_; // -1: not muted
};

} // namespace quorvel
