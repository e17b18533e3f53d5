// Stored form of an output's graphic equaliser, as the preset table GEQ holds it.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "link/device_state.h"

namespace quorvel {

inline constexpr std::size_t kGeqTextLength = 4 * kGeqBands;

// The 31 raw gains, band 1 first, four digits each; the on switch is not part of a preset.
std::string geqDataText(const std::array<GeqSlot, kGeqBands>& geq);
bool readGeqDataText(std::string_view text, std::array<GeqSlot, kGeqBands>& geq, std::string& error);

} // namespace quorvel
