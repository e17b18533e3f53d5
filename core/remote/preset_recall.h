// A remote client's recall of a stored preset: the same store rows and the same steps as a page's
// preset list (read the row, apply its text, store the block again so it is clamped, sent and
// link-copied), chosen by the table's name, a row's ID or name, and a 1-based channel.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/edit_history.h"
#include "link/edit_sink.h"
#include "presets/preset_blocks.h"

namespace quorvel::remote {

struct PresetRecall {
    ChangeSet changes;
    UserOperation undo; // how an undo of it sends the block back, as the page's would
};

// "scene", in any case: a recall of a stored scene rather than a preset.
bool isSceneKind(std::string_view kind);
// The block whose table is named `kind` (any case: NOISE, Compressor, PEQ, LIMIT, GEQ, DELAY, REV).
std::optional<PresetBlock> presetBlockOfKind(std::string_view kind);
// `item` is a row's ID ("3") or its name; channel is an input (gate, compressor, PEQ) or an output
// (limiter, GEQ), ignored by the effects. On failure nothing changed and error says why.
std::optional<PresetRecall> recallPreset(PresetStore& store, std::string_view kind, std::string_view item,
                                         int channel, DeviceState& s, EditSink& sink, std::string& error);

} // namespace quorvel::remote
