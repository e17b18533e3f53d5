// What the strips show beside the fields they bind: the fader scale and the gain and delay lists.
// The edits themselves go through applyEdit (link/edit.h) like every other.
#pragma once

#include <string>
#include <vector>

namespace quorvel {

inline constexpr int kFaderTop = 70;    // fader position 0 is the top: level = 70 - position
inline constexpr int kDelaySteps = 200; // 0.0 .. 99.5 ms in 0.5 ms steps

// Gain steps a channel offers: four microphone steps on 1..8, two line steps from 9 up.
int gainStepCount(int channel);
// The gain list of a channel as the selector shows it.
std::vector<std::string> gainStepLabels(int channel);

// "%0.1f ms" text of delay item i.
std::string delayLabel(int index);

} // namespace quorvel
