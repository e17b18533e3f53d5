// What the parametric equaliser page does to DeviceState beyond a single field edit: the handle
// drags of its curve, RESET, BYPASS, recall and the block copies to linked channels. Knobs,
// buttons and slope lists are single fields and go through applyEdit like any other edit.
//
// Every operation stores (applying the control-group copy, offline too), queues its frames only
// while online, and returns every field it wrote. Frames carry the pause the device needs after
// them; nothing here sleeps.
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/edit_sink.h"
#include "processing/drag_pacer.h"

namespace quorvel {

// Between the frames of a RESET, BYPASS or recall the device needs this long.
inline constexpr std::chrono::milliseconds kPeqBlockPause{20};
// After each frame of a whole block copied to a linked channel.
inline constexpr std::chrono::milliseconds kPeqMemberBlockPause{50};

inline constexpr int kPeqFilterChannels = 8; // only channels 1..8 have the HPF and LPF
inline constexpr int kPeqHandles = 6;        // bands 1..4, HPF, LPF
inline constexpr int kHpfHandle = 4;
inline constexpr int kLpfHandle = 5;

inline constexpr std::array<std::int32_t, kPeqBands> kPeqResetFreq = {200, 500, 1000, 5000};
inline constexpr std::int32_t kPeqResetGain = 150;
inline constexpr std::int32_t kPeqResetQ = 20;
inline constexpr std::int32_t kHpfResetFreq = 20;
inline constexpr std::int32_t kLpfResetFreq = 20000;
inline constexpr std::int32_t kFilterResetSlope = 2;

// Frequency knobs: positions 30..330, 100 per decade.
inline constexpr int kFreqKnobMin = 30;
inline constexpr int kFreqKnobMax = 330;
std::int32_t frequencyOfKnob(int position); // 10^((p + 100) / 100), rounded
int knobOfFrequency(std::int32_t hz);       // round(100 log10 f - 100), within the knob

// "-12dB/Oct" .. "-48dB/Oct": list index i is slope code i + 2.
inline constexpr int kSlopeItems = 7;
std::string slopeLabel(int index);

bool peqHasFilters(int channel);

// What BYPASS saves of a channel: bands 1..4 and both filters.
struct PeqBlock {
    std::array<PeqBand, kPeqBands> bands{};
    std::int32_t hpfFreq = 0, hpfType = 0, hpfSlope = 0, hpfOn = 0;
    std::int32_t lpfFreq = 0, lpfType = 0, lpfSlope = 0, lpfOn = 0;
};
bool operator==(const PeqBlock& a, const PeqBlock& b);
PeqBlock peqBlockOf(const InputChannel& ch);
void setPeqBlock(InputChannel& ch, const PeqBlock& b);

// One save area per channel. A channel counts as bypassed only while its equaliser still holds
// exactly what BYPASS put there: any other change (a knob, a report, a recall, a typed value)
// ends the bypass, and switching it off then restores nothing over the newer values.
class PeqBypass {
public:
    bool active(const DeviceState& s, int channel) const;
    ChangeSet set(DeviceState& s, EditSink& sink, int channel, bool on);
    void forget(int channel);

private:
    struct Area {
        PeqBlock saved;
        PeqBlock flat;
    };
    std::array<std::optional<Area>, kInputRecords> areas_{};
};

// Fields of the channel's equaliser block (bands 1..4, both filters) for change notices.
ChangeSet peqBlockFields(int channel);

// Bands 1..4 to 200/500/1000/5000 Hz, 0 dB, Q 2.0, peaking; both filters off at 20 Hz and
// 20 kHz, -12 dB/Oct. Sends G 1..4 then E, F, 20 ms apart, then copies the block.
ChangeSet peqReset(DeviceState& s, EditSink& sink, int channel);

// A preset's data text: values clamped to their ranges, sent as RESET sends, then copied.
// On a damaged text nothing changes and error says why.
bool peqRecall(DeviceState& s, EditSink& sink, int channel, std::string_view text, ChangeSet& changed,
               std::string& error);

// After a preset list has put a recalled text into the channel: clamp, send as RESET, copy.
ChangeSet peqRecalled(DeviceState& s, EditSink& sink, int channel);

// Sends the whole block in the order given (G 1..4 then E, F, or E, F then G 1..4), then
// copies it to every linked channel and sends theirs with 50 ms pauses.
ChangeSet sendPeqBlock(DeviceState& s, EditSink& sink, int channel, bool filtersFirst);

// A curve handle (0..3 bands 1..4, 4 HPF, 5 LPF) moved to hz / db. The value stored is the
// nearest step inside the knob's range; frames go at the pace the pacer allows (finished: at
// once). The pacer remembers the handle when the frame has to wait.
ChangeSet peqDragHandle(DeviceState& s, EditSink& sink, DragPacer& pacer, Clock::time_point now, int channel,
                        int handle, double hz, double db, bool finished);
// The waiting frame of a drag, once its time has come; nothing when nothing waits.
ChangeSet peqFlushDrag(DeviceState& s, EditSink& sink, DragPacer& pacer, Clock::time_point now);
// Double click on a band's handle: 0 dB at its frequency, sent at once and copied.
ChangeSet peqResetHandle(DeviceState& s, EditSink& sink, int channel, int handle);

// Every field of a record clamped to its range (a recalled preset, a scene).
ChangeSet clampRecordFields(DeviceState& s, bool input, int record);

} // namespace quorvel
