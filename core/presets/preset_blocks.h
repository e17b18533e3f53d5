// Which table, data text and popup menu belong to each block with presets, and the save and
// recall steps that move a block between DeviceState and its table.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/device_state.h"
#include "presets/preset_operations.h"

namespace quorvel {

enum class PresetBlock { Noise, Compressor, Peq, Limiter, Geq, Delay, Reverb };

// The item menu of a preset list and its command IDs.
struct PresetMenu {
    int menuId;
    int nameCommand;
    int recallCommand;
    int deleteCommand;
};

inline constexpr PresetMenu kPresetMenu215{215, 32771, 32773, 32774};
inline constexpr PresetMenu kPresetMenu216{216, 32775, 32776, 32777};

const PresetTable& presetTable(PresetBlock block);
// 216 for the compressor and reverberation lists, 215 for every other list and the scenes.
const PresetMenu& presetMenu(PresetBlock block);

// index: the 0-based input channel (gate, compressor, PEQ) or output (limiter, GEQ); ignored by
// the effects, whose values have one home each.
std::string blockDataText(PresetBlock block, const DeviceState& s, int index);
// On failure DeviceState is unchanged and error says why.
bool applyBlockDataText(PresetBlock block, std::string_view text, DeviceState& s, int index,
                        std::string& error);

enum class RecallStatus {
    Recalled, // the block now holds the preset; the page refreshes, sends and link-copies
    Ignored,  // item without an ID, or its row is gone: nothing happens
    Failed,   // database error or damaged data text, already reported; the block is unchanged
};

// Save: the block's current values go into a new row; returns the list item to append.
std::optional<std::string> saveBlockPreset(PresetStore& store, PresetBlock block, const DeviceState& s,
                                           int index);
RecallStatus recallBlockPreset(PresetStore& store, PresetBlock block, std::string_view itemText,
                               DeviceState& s, int index);

} // namespace quorvel
