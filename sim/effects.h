// The device's side of the send levels and the two effects: the frames a, y and v, the
// full-state sections that report them, and the effect meters of the status report.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "link/device_state.h"

namespace quorvel::sim {

// a (unit, source 1..18, nine levels), y (unit, pre delays, feedback, LPF, two mutes) or v
// (unit, four delays, time, LPF, two mutes). Exactly that many fields of exactly their width;
// anything else, another letter included, leaves the model as it was and returns false.
bool applyEffectCommand(DeviceState& s, std::string_view frame);

// Sections 28 (every source's nine sends), 29 (the delay) and 30 (the reverberation).
std::string sendsSection(const DeviceState& s);
std::string delaySection(const DeviceState& s);
std::string reverbSection(const DeviceState& s);

// Delay in, delay out, reverberation in, out, on the meter scale: an effect hears the loudest
// analogue input through its send (unless its input is muted), and returns it after its own
// fader-free path, silent while the return is muted. `meters`: inputs 1..12 then outputs.
std::array<int, 4> effectMeters(const DeviceState& s, const int (&meters)[20]);

} // namespace quorvel::sim
