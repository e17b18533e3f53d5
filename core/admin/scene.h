// The scene image: the parameter area, then the four mute groups and four control groups,
// 20,568 bytes, little-endian words at fixed offsets, reserved words zero.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "link/device_state.h"

namespace quorvel {

std::vector<std::uint8_t> serialiseScene(const DeviceState& s);

// Refuses any image that is not exactly a scene's size; on refusal the state is untouched.
bool loadScene(DeviceState& s, const std::vector<std::uint8_t>& image, std::string& error);

// File forms: writes go to a temporary file that is renamed into place.
bool writeSceneFile(const DeviceState& s, const std::filesystem::path& file, std::string& error);
bool readSceneFile(DeviceState& s, const std::filesystem::path& file, std::string& error);

} // namespace quorvel
