// Stored forms of the noise gate and the compressor of an input channel, as the preset tables
// NOISE and Compressor hold them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "link/device_state.h"

namespace quorvel {

inline constexpr std::size_t kNoiseTextLength = 8;
inline constexpr std::size_t kCompressorTextLength = 12;

// enabled, threshold, attack, release; the gate's range is not part of a preset.
std::string noiseDataText(const GateSettings& gate);
// enabled, threshold, ratio, attack, release, gain.
std::string compressorDataText(const Dynamics& comp);

// On failure the block keeps its values and error says what is wrong with the text.
bool readNoiseDataText(std::string_view text, GateSettings& gate, std::string& error);
bool readCompressorDataText(std::string_view text, Dynamics& comp, std::string& error);

} // namespace quorvel
