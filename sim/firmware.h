// The device's side of a firmware transfer: S announces an image, T frames carry it 1024 bytes
// at a time in strict order, U ends it. The image is the file followed by its two checksum
// bytes (high byte first), so the device can tell a damaged transfer from a good one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::sim {

// Result codes of the U reply (and of the error reply "%e").
enum FirmwareCode : int {
    kFwOk = 0x00,
    kFwChecksum = 0x01,   // the image's checksum does not match its bytes
    kFwIncomplete = 0x02, // fewer bytes arrived than announced
    kFwOrder = 0x03,      // a block other than the next one arrived
    kFwNoTransfer = 0x04, // T or U without a start, or for another target
    kFwBadStart = 0x05,   // S with a length or block count the device cannot take
    kFwStore = 0x06,      // the image could not be written
};

inline constexpr std::size_t kFirmwareBlockBytes = 1024;
inline constexpr std::size_t kFirmwareMaxBytes = 0xFFFFF; // what a five-digit length can announce

class FirmwareReceiver {
public:
    FirmwareReceiver(std::string storeDir, int failCode) : dir_(std::move(storeDir)), failCode_(failCode) {}

    // Each takes one accepted frame of its letter and returns the reply frame.
    std::string onStart(std::string_view frame);
    std::string onBlock(std::string_view frame);
    std::string onEnd(std::string_view frame);

    bool active() const { return active_; }
    const std::string& lastMessage() const { return message_; }
    int repeatedBlocks() const { return repeats_; } // blocks taken a second time
    static std::string fileNameFor(int target) { return target == 0 ? "dsp.bin" : "digital.bin"; }

private:
    std::string error(int code, std::string message);
    void abort() { active_ = false, image_.clear(); }

    std::string dir_;
    int failCode_;
    bool active_ = false;
    int target_ = 0;
    std::size_t length_ = 0;
    std::size_t nextBlock_ = 0;
    std::vector<std::uint8_t> image_;
    std::string message_;
    int repeats_ = 0;
};

} // namespace quorvel::sim
