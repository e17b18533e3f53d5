// Stored form of an output's limiter, as the preset table LIMIT holds it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

inline constexpr std::size_t kLimiterTextLength = 12;

// l1..l6 in storage order; the text orders them l1, l2, l6, l3, l4, l5 (switch, threshold, ratio,
// attack, release, gain), the same order as the compressor's text.
std::string limiterDataText(const std::array<std::int32_t, 6>& limiter);
bool readLimiterDataText(std::string_view text, std::array<std::int32_t, 6>& limiter, std::string& error);

} // namespace quorvel
