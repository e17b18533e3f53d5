// The automixer's edits that are more than one field: a threshold under SYNC, the four global
// selectors read at once, and the words the page shows after a global setting. Every
// single-field edit of the automixer (a selector, LAST HOLD, AUTO/MAN, a detector, SYNC itself)
// is applyEdit's: the registry knows that M or N carries it and that SYNC goes nowhere.
#pragma once

#include <chrono>
#include <cstdint>

#include "link/edit.h"

namespace quorvel {

inline constexpr int kAutomixChannels = 8;   // the microphone inputs the automixer gates
inline constexpr int kSyncSourceSlowest = 8; // the one selector whose sweep runs at half the pause
inline constexpr std::chrono::milliseconds kSyncPause{20};
inline constexpr std::chrono::milliseconds kSyncPauseFromLast{10};

// Channel 1..18's threshold, raw 0..80 (clamped). With SYNC off, or a channel above 8, this is
// the plain edit: one L. With SYNC on and a channel 1..8, channels 1..8 all take the value and
// the device gets L for the channel, then L for 1, 2, .. 8, each followed by kSyncPause
// (kSyncPauseFromLast when channel 8 asked): the asking channel goes out twice. Only online.
// The changes list the asking channel first. Refused for a channel without a record.
EditOutcome setAutomixThreshold(DeviceState& s, EditSink& sink, int channel, std::int32_t raw);

// The OK button: the four global selectors as they stand, stored (each clamped to its range) and
// carried by one M.
struct AutomixGlobals {
    std::int32_t holdTime = 1;
    std::int32_t maxOpenChannels = 1;
    std::int32_t nomAttenuation = 20;
    std::int32_t closedChannelAttenuation = 0;
};
ChangeSet applyAutomixGlobals(DeviceState& s, EditSink& sink, const AutomixGlobals& g);

// SYNC is a setting of this program, not of the device: it starts off whenever the program
// starts, whatever the factory values say (those are for a reset).
void startWithSyncOff(DeviceState& s);

// What the page says after a global setting changed: that it was sent, or, offline, that it was
// only stored (nothing reached the device). UTF-8, for languageFlag 1 or 2.
const char* automixSetMessage(bool online, int languageFlag);

} // namespace quorvel
