#include "firmware.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "link/frame.h"

namespace quorvel::sim {
namespace {

std::vector<std::string_view> fields(std::string_view frame) {
    std::vector<std::string_view> out;
    std::string_view body = frame.substr(3, frame.size() - 8); // between "%L," and "CCCC#"
    while (!body.empty()) {
        size_t c = body.find(',');
        out.push_back(body.substr(0, c));
        if (c == std::string_view::npos) break;
        body.remove_prefix(c + 1);
    }
    return out;
}

bool decimal(std::string_view t, long& v) {
    if (t.empty() || t.size() > 9) return false;
    v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    return true;
}

bool hex(std::string_view t, long& v) {
    if (t.empty() || t.size() > 7) return false;
    v = 0;
    for (char c : t) {
        bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        if (!ok) return false;
        v = v * 16 + hexDigitValue(c);
    }
    return true;
}

std::string reply(char letter, std::initializer_list<std::string_view> values) {
    CommandFrame f(letter);
    f.x2(kUnitId);
    for (auto v : values)
        f.raw(v).comma();
    return std::move(f).finish();
}

std::string code2(int code) {
    std::string s;
    appendX2(s, code & 0xFF);
    return s;
}

} // namespace

std::string FirmwareReceiver::error(int code, std::string message) {
    message_ = std::move(message);
    abort();
    return reply('e', {code2(code)});
}

std::string FirmwareReceiver::onStart(std::string_view frame) {
    if (frame.size() < 9) return error(kFwBadStart, "start frame too short");
    auto f = fields(frame);
    long target = 0, blocks = 0, length = 0;
    if (f.size() < 4 || !decimal(f[1], target) || !hex(f[2], blocks) || !hex(f[3], length))
        return error(kFwBadStart, "start frame malformed");
    if ((target != 0 && target != 1) || length <= 0 || static_cast<std::size_t>(length) > kFirmwareMaxBytes ||
        blocks != (length - 1) / static_cast<long>(kFirmwareBlockBytes) + 1)
        return error(kFwBadStart, "start announces an impossible image");
    active_ = true;
    target_ = static_cast<int>(target);
    length_ = static_cast<std::size_t>(length);
    nextBlock_ = 0;
    image_.clear();
    image_.reserve(length_ + kFirmwareBlockBytes);
    message_ = "start target " + std::to_string(target) + ", " + std::to_string(length) + " bytes";
    return reply('S', {std::to_string(target), code2(kFwOk)});
}

std::string FirmwareReceiver::onBlock(std::string_view frame) {
    if (!active_ || frame.size() < 9) return error(kFwNoTransfer, "block without a transfer");
    auto f = fields(frame);
    long target = 0, index = 0;
    if (f.size() < 4 || !decimal(f[1], target) || !hex(f[2], index))
        return error(kFwOrder, "block malformed");
    if (target != target_) return error(kFwNoTransfer, "block for another target");
    // The file plus its two checksum bytes, in whole blocks; nothing arrives beyond that.
    const std::size_t blocksDue = (length_ + 2 + kFirmwareBlockBytes - 1) / kFirmwareBlockBytes;
    // The block just taken, sent again because its acknowledgement was lost: taken again in its
    // own place, so the sender can go on.
    const bool repeat = nextBlock_ > 0 && static_cast<std::size_t>(index) == nextBlock_ - 1;
    if (!repeat && (static_cast<std::size_t>(index) != nextBlock_ || nextBlock_ >= blocksDue))
        return error(kFwOrder,
                     "block " + std::to_string(index) + " where " + std::to_string(nextBlock_) + " was due");
    std::string_view data = f[3];
    if (data.size() > 2 * kFirmwareBlockBytes || data.size() % 2)
        return error(kFwOrder, "block data malformed");
    const std::size_t start = static_cast<std::size_t>(index) * kFirmwareBlockBytes;
    image_.resize(start + kFirmwareBlockBytes, 0);
    std::fill(image_.begin() + static_cast<std::ptrdiff_t>(start), image_.end(), std::uint8_t{0});
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        image_[start + i / 2] = static_cast<std::uint8_t>(hexPair(data[i], data[i + 1]));
    if (repeat)
        ++repeats_;
    else
        ++nextBlock_;
    std::string idx;
    appendX2(idx, static_cast<int>(index));
    return reply('Y', {std::to_string(target), idx});
}

std::string FirmwareReceiver::onEnd(std::string_view frame) {
    auto endReply = [&](int code, std::string message) {
        message_ = std::move(message);
        abort();
        return reply('U', {code2(code)});
    };
    if (!active_ || frame.size() < 9) return endReply(kFwNoTransfer, "end without a transfer");
    auto f = fields(frame);
    long target = -1;
    if (f.size() < 2 || !decimal(f[1], target) || target != target_)
        return endReply(kFwNoTransfer, "end for another target");
    if (failCode_ != 0) return endReply(failCode_, "refused on request");
    if (image_.size() < length_ + 2) return endReply(kFwIncomplete, "image incomplete");
    std::string_view bytes(reinterpret_cast<const char*>(image_.data()), length_);
    const unsigned sent = static_cast<unsigned>(image_[length_]) << 8 | image_[length_ + 1];
    if (frameChecksum(bytes) != sent) return endReply(kFwChecksum, "image checksum mismatch");
    if (!dir_.empty()) {
        // Written aside and renamed, so a reader never sees half an image.
        const std::string path = dir_ + "/" + fileNameFor(target_);
        const std::string tmp = path + ".part";
        {
            std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            if (!out.flush()) {
                std::remove(tmp.c_str());
                return endReply(kFwStore, "cannot write " + tmp);
            }
        }
        if (std::rename(tmp.c_str(), path.c_str()) != 0) {
            std::remove(tmp.c_str());
            return endReply(kFwStore, "cannot store " + path);
        }
    }
    return endReply(kFwOk, "image for target " + std::to_string(target_) + " received, " +
                               std::to_string(length_) + " bytes");
}

} // namespace quorvel::sim
