// Stored form of an input channel's parametric equaliser with its high- and low-pass filters, as
// the preset table PEQ holds it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "link/device_state.h"

namespace quorvel {

inline constexpr std::size_t kPeqTextLength = 82;

// Bands 1-4 (type, Q, gain, frequency), ",", the high-pass filter (on, type, slope, frequency),
// ",", the low-pass filter the same way. The hidden fifth band and the PEQ switch are not stored.
std::string peqDataText(const InputChannel& ch);
// On failure the channel keeps its values and error says what is wrong with the text.
bool readPeqDataText(std::string_view text, InputChannel& ch, std::string& error);

} // namespace quorvel
