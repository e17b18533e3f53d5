// What a firmware update puts on the wire, as pure functions: the image cut into blocks, the
// frames of the transfer and of the two version queries, the files chosen by the device's basic
// version, and versions read as numbers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/commands.h"

namespace quorvel::firmware {

inline constexpr std::size_t kBlockBytes = 1024;
inline constexpr std::size_t kMaxImageBytes = 16u * 1024 * 1024;
inline constexpr int kTargetDsp = 0;
inline constexpr int kTargetDigital = 1;

using Block = std::array<std::uint8_t, kBlockBytes>;

// An image ready to go: the file followed by its checksum (high byte first), cut into 1024-byte
// blocks, the last zero-padded. The start frame announces the blocks the file alone fills, so one
// more block goes out whenever the checksum does not fit the file's last block.
struct ImagePlan {
    std::size_t length = 0;     // file bytes
    std::uint16_t checksum = 0; // frame checksum over the file
    int announcedBlocks = 0;    // (length - 1) / 1024 + 1
    std::vector<Block> blocks;
};

// Refuses an empty image and one over kMaxImageBytes (error says which).
std::optional<ImagePlan> planImage(std::span<const std::uint8_t> file, std::string& error);

std::string buildStart(int target, int blocks, std::size_t length);  // %S
std::string buildBlock(int target, int index, const Block& data);    // %T
std::string buildEnd(int target);                                    // %U
std::string buildBasicVersionQuery(const Ipv4Octets& own, int port); // %r
// Before an update takes the link's port the device stops its reports: Q 0 twice, as it may
// miss one, 100 ms and then 500 ms apart.
std::vector<OutgoingFrame> reportStopFrames();
// The hardware-version query is the connect request itself.
inline std::string buildHardwareVersionQuery(const Ipv4Octets& own, int port) {
    return buildZ(own, port);
}

// Decimal digits only, at most nine of them; anything else is not a version.
std::optional<long> versionNumber(std::string_view text);

struct ImageFiles {
    std::string dsp;
    std::string digital;
};
// The local files for a device of this basic version; nullopt from 400 on (this program cannot
// update it). A basic version that is not a number counts as 0, as the device's "000" does.
std::optional<ImageFiles> localImageFiles(std::string_view basicVersion);

// Downloaded images keep the names the device's updater always used.
inline constexpr const char* kDownloadedDsp = "upate1.bin";
inline constexpr const char* kDownloadedDigital = "upate2.bin";

} // namespace quorvel::firmware
