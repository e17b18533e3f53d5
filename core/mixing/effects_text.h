// Stored forms of the two effect processors, as the preset tables DELAY and REV hold them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "link/device_state.h"

namespace quorvel {

// The effect parameters live in the return channels' records: the delay in elements 0..3 of the
// DELAY return, the reverberation in elements 5..10 of the Reverberation return.
inline constexpr int kDelayReturnChannel = 17;
inline constexpr int kReverbReturnChannel = 18;
inline constexpr std::size_t kDelayFirstParam = 0;
inline constexpr std::size_t kReverbFirstParam = 5;

inline constexpr std::size_t kDelayTextLength = 14;
inline constexpr std::size_t kReverbTextLength = 14;

// Pre delay 1 and 2 (four digits), feedback (two), LPF (four).
std::string delayDataText(const DeviceState& s);
// Delay 1..4 and reverberation time (two digits each), LPF (four).
std::string reverbDataText(const DeviceState& s);

// On failure the effect keeps its values and error says what is wrong with the text.
bool readDelayDataText(std::string_view text, DeviceState& s, std::string& error);
bool readReverbDataText(std::string_view text, DeviceState& s, std::string& error);

} // namespace quorvel
