// The reports the device sends, built from its model. Each is the exact inverse of the
// application's parser for that letter, so a model survives the trip unchanged.
#pragma once

#include <array>
#include <string>

#include "link/device_state.h"

namespace quorvel::sim {

// Per-input sections of the full-state report: the filter and compressor sections cover the
// sixteen input strips, the band and automix sections every input record (their commands reach
// all of them), the rest the twelve analogue channels.
inline constexpr int kWideInputSections = 16;

std::string buildFullStateReport(const DeviceState& s, std::string_view deviceText);
// units: how many complete unit records (0..4) to send; the application counts them.
std::string buildNamesReport(const DeviceState& s, int units);
// meters 0..19: inputs 1..12 then outputs 1..8; openMask bit k-1: channel k open; lastOpen 0..8.
std::string buildStatusReport(const int (&meters)[20], int openMask, int lastOpen);
// The same followed by values 22..25: delay in, delay out, reverberation in, out.
std::string buildStatusReport(const int (&meters)[20], int openMask, int lastOpen,
                              const std::array<int, 4>& effects);
std::string buildLevelsReport(const DeviceState& s, int reportNumber);

// Replies invented for this device (documented with the protocol notes).
std::string buildSearchAnswer(const std::string& ownAddress, int port);
std::string buildBasicVersionReply(const std::string& basicVersion);
std::string buildHardwareVersionReply(const std::string& hardwareVersion);

} // namespace quorvel::sim
