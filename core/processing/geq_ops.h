// What the graphic equaliser page does to DeviceState: point drags and resets, DRAW sweeps,
// RESET and recall, with the copies to linked outputs. The on switch is a single field and goes
// through applyEdit. Every operation stores (copies included, offline too), queues H only while
// online, and returns every field it wrote.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/edit_sink.h"
#include "processing/drag_pacer.h"

namespace quorvel {

inline constexpr std::int32_t kGeqFlat = 150;

// The raw gain nearest to db, inside -15..+15 dB.
std::int32_t geqRawOfDb(double db);

// A point dragged (band 0..30) to db; frames at the pacer's pace, at once when finished. A band
// outside 0..30 is ignored.
ChangeSet geqDragPoint(DeviceState& s, EditSink& sink, DragPacer& pacer, Clock::time_point now, int output,
                       int band, double db, bool finished);
// A DRAW sweep step: every band given a value (nullopt: not crossed) is set; the frame is paced
// like a drag. The release sends one H and copies all 31 bands to linked outputs.
ChangeSet geqDrawStep(DeviceState& s, EditSink& sink, DragPacer& pacer, Clock::time_point now, int output,
                      const std::array<std::optional<double>, kGeqBands>& bandsDb);
ChangeSet geqDrawRelease(DeviceState& s, EditSink& sink, DragPacer& pacer, Clock::time_point now, int output);
// The waiting frame of a drag or sweep, once its time has come.
ChangeSet geqFlushDrag(DeviceState& s, EditSink& sink, DragPacer& pacer, Clock::time_point now);
// Double click on a point: 0 dB, sent at once.
ChangeSet geqResetPoint(DeviceState& s, EditSink& sink, int output, int band);
// All 31 bands to 0 dB (the on switch stays), H, then the whole equaliser copied.
ChangeSet geqReset(DeviceState& s, EditSink& sink, int output);
// After a preset list has put a recalled text into the output: clamp, send H, copy all bands.
ChangeSet geqRecalled(DeviceState& s, EditSink& sink, int output);
// A preset's data text, clamped, stored, sent and copied; on a damaged text nothing changes.
bool geqRecall(DeviceState& s, EditSink& sink, int output, std::string_view text, ChangeSet& changed,
               std::string& error);

} // namespace quorvel
