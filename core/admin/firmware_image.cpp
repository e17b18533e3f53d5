#include "admin/firmware_image.h"

#include <algorithm>
#include <cstdio>

#include "link/frame.h"

namespace quorvel::firmware {

std::optional<ImagePlan> planImage(std::span<const std::uint8_t> file, std::string& error) {
    if (file.empty()) {
        error = "the image is empty";
        return std::nullopt;
    }
    if (file.size() > kMaxImageBytes) {
        error = "the image is larger than 16 MiB";
        return std::nullopt;
    }
    ImagePlan plan;
    plan.length = file.size();
    plan.checksum = frameChecksum(std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
    plan.announcedBlocks = static_cast<int>((file.size() - 1) / kBlockBytes + 1);
    // One stream of file and checksum: files shorter than a block get their checksum too, and a
    // checksum that does not fit spills into a block of its own.
    const std::size_t total = file.size() + 2;
    plan.blocks.assign((total + kBlockBytes - 1) / kBlockBytes, Block{});
    auto byteAt = [&](std::size_t i) -> std::uint8_t {
        if (i < file.size()) return file[i];
        return i == file.size() ? static_cast<std::uint8_t>(plan.checksum >> 8)
                                : static_cast<std::uint8_t>(plan.checksum & 0xFF);
    };
    for (std::size_t i = 0; i < total; ++i)
        plan.blocks[i / kBlockBytes][i % kBlockBytes] = byteAt(i);
    return plan;
}

std::string buildStart(int target, int blocks, std::size_t length) {
    CommandFrame f('S');
    f.x2(kUnitId).dec(target).x2(blocks);
    char len[16];
    std::snprintf(len, sizeof len, "%05zX", length);
    f.raw(len).comma();
    return std::move(f).finish();
}

std::string buildBlock(int target, int index, const Block& data) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    CommandFrame f('T');
    f.x2(kUnitId).dec(target).x2(index);
    std::string hex(2 * kBlockBytes, '0');
    for (std::size_t i = 0; i < kBlockBytes; ++i) {
        hex[2 * i] = kHex[data[i] >> 4];
        hex[2 * i + 1] = kHex[data[i] & 0xF];
    }
    f.raw(hex).comma();
    return std::move(f).finish();
}

std::string buildEnd(int target) {
    CommandFrame f('U');
    f.x2(kUnitId).dec(target);
    return std::move(f).finish();
}

std::vector<OutgoingFrame> reportStopFrames() {
    using std::chrono::milliseconds;
    return {{buildQ(0), milliseconds{100}, false}, {buildQ(0), milliseconds{500}, false}};
}

std::string buildBasicVersionQuery(const Ipv4Octets& own, int port) {
    CommandFrame f('r');
    f.x2(kUnitId).x2(0);
    char addr[16];
    std::snprintf(addr, sizeof addr, "%03u%03u%03u%03u", own[0], own[1], own[2], own[3]);
    f.raw(addr).comma().dec(port);
    return std::move(f).finish();
}

std::optional<long> versionNumber(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::optional<ImageFiles> localImageFiles(std::string_view basicVersion) {
    const long basic = versionNumber(basicVersion).value_or(0);
    if (basic >= 400) return std::nullopt;
    if (basic >= 300) return ImageFiles{"DSP-QUORVEL-3.bin", "Digital-QUORVEL-3.bin"};
    return ImageFiles{"DSP-QUORVEL.bin", "Digital-QUORVEL.bin"};
}

} // namespace quorvel::firmware
