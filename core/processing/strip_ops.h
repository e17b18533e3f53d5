// What the input and output strips and the phantom page do to DeviceState. Each operation is a
// thin wrapper over applyEdit (link/edit.h), kept until the pages edit through the EditController;
// then all but gainStepLabels and delayLabel can go (queueInputLevel and linkedLevelBusyTime with
// the strip's own wire-free time, once the paced sender lets the latest level win).
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_state.h"
#include "link/edit.h"
#include "link/edit_sink.h"
#include "mixing/groups.h"

namespace quorvel {

inline constexpr int kFaderTop = 70;    // fader position 0 is the top: level = 70 - position
inline constexpr int kDelaySteps = 200; // 0.0 .. 99.5 ms in 0.5 ms steps

// Members a group copy changed besides the edited record; pages refresh their strips.
struct EditResult {
    std::vector<int> members;
};

// ---- input strip (channel = input record 1..18) ----
EditResult setInputLevel(DeviceState& s, EditSink& sink, int channel, int level);
// Queues the frames a level edit of `channel` sends (its own A, then each volume-linked member's
// with the member pause) without changing anything. A fast drag of a linked fader stores every
// step but sends only the latest, so the paced queue cannot fall behind the hand.
void queueInputLevel(const DeviceState& s, EditSink& sink, int channel);
// How long the member copies of one level edit of `channel` keep the wire busy (0 unlinked).
std::chrono::milliseconds linkedLevelBusyTime(const DeviceState& s, int channel);
EditResult setInputMute(DeviceState& s, EditSink& sink, int channel, bool mute);
EditResult setInputPan(DeviceState& s, EditSink& sink, int channel, int pan);
EditResult setInputPriority(DeviceState& s, EditSink& sink, int channel, bool on);
EditResult setInputPhantom(DeviceState& s, EditSink& sink, int channel, bool on);
EditResult setGainStep(DeviceState& s, EditSink& sink, int channel, int step);

enum class SourceResult { Stored, Conflict };
// A Dante input feeds one channel at most: choosing one already used by another of channels
// 1..12 is refused and nothing changes (the caller puts its list back and shows the message).
SourceResult selectSource(DeviceState& s, EditSink& sink, int channel, int source);

// The 48V page: toggles one channel (1..16); no group copy.
bool togglePhantomFromPage(DeviceState& s, EditSink& sink, int channel);

// Stores the GBK name (cut at 16 bytes) and queues V. Only channels 1..12 have a name on the
// device: V numbers above 12 address the outputs.
void setInputName(DeviceState& s, EditSink& sink, int channel, std::string_view gbkName);

// The gain list of a channel as the selector shows it.
std::vector<std::string> gainStepLabels(int channel);

// ---- output strip (output = 1..8) ----
EditResult setOutputLevel(DeviceState& s, EditSink& sink, int output, int level);
EditResult setOutputMute(DeviceState& s, EditSink& sink, int output, bool mute);
EditResult setOutputFbk(DeviceState& s, EditSink& sink, int output, bool on);
EditResult setOutputLineLevel(DeviceState& s, EditSink& sink, int output, bool line);
EditResult setOutputDelay(DeviceState& s, EditSink& sink, int output, int index);
void setOutputName(DeviceState& s, EditSink& sink, int output, std::string_view gbkName);

// "%0.1f ms" text of delay item i.
std::string delayLabel(int index);

} // namespace quorvel
