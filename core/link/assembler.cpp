#include <cstring>

#include "link/frame.h"
#include "link/reports.h"

namespace quorvel {
namespace {

// Longest text kept between datagrams. A real report is a few kilobytes at most; a peer that
// streams text without ever closing a frame must not make the leftover grow without bound.
constexpr std::size_t kMaxLeftover = 64 * 1024;

constexpr std::size_t npos = std::string_view::npos;

std::size_t findFrom(std::string_view buf, std::size_t from, char c) {
    if (from >= buf.size()) return npos;
    const void* p = std::memchr(buf.data() + from, c, buf.size() - from);
    return p ? static_cast<std::size_t>(static_cast<const char*>(p) - buf.data()) : npos;
}

} // namespace

int FrameAssembler::feed(std::string_view text, const std::function<void(std::string_view)>& onFrame) {
    // Two characters or fewer are treated as line noise: discarded, with the leftover untouched
    // (so a fragment that short is lost even when it would have continued a frame).
    if (leftover_.size() + text.size() <= 2) {
        if (!text.empty()) dropped(DropReason::TooShort, text);
        return 0;
    }

    if (text.empty()) return 0; // the leftover never holds a complete frame on its own
    if (!leftover_.empty()) {
        const bool textHasStart = std::memchr(text.data(), '%', text.size()) != nullptr;
        const bool textHasEnd = std::memchr(text.data(), '#', text.size()) != nullptr;
        if ((!leftoverHasStart_ && !textHasStart) || (!leftoverHasEnd_ && !textHasEnd)) {
            leftover_.append(text);
            leftoverHasStart_ = leftoverHasStart_ || textHasStart;
            leftoverHasEnd_ = leftoverHasEnd_ || textHasEnd;
            if (leftover_.size() > kMaxLeftover) keepTail(std::string_view(leftover_));
            return 0;
        }
    }

    // Without a leftover the datagram is scanned where it lies; only its tail is copied.
    const bool inPlace = leftover_.empty();
    if (!inPlace) leftover_.append(text);
    const std::string_view buf = inPlace ? text : std::string_view(leftover_);

    // Everything before `pos` has been consumed; searches "from the start" begin there.
    std::size_t pos = 0;
    std::size_t s = findFrom(buf, pos, '%');
    std::size_t e = findFrom(buf, pos, '#');
    auto dropStrayEnd = [&] {
        // A "#" ahead of the first "%" belongs to a frame whose start was lost.
        if (s != npos && e != npos && e < s) {
            dropped(DropReason::NoStart, buf.substr(pos, s - pos));
            pos = s;
            e = findFrom(buf, pos, '#');
        }
    };
    int accepted = 0;
    if (s != npos && e != npos) {
        dropStrayEnd();
        while (s != npos && e != npos && s < e) {
            // A start cut short by a lost datagram: the later "%" begins the frame that did arrive.
            std::size_t start = s;
            const std::size_t inner = findFrom(buf.substr(0, e), s + 1, '%');
            if (inner != npos) {
                start = inner;
                dropped(DropReason::NoEnd, buf.substr(s, start - s));
            }
            const std::string_view candidate = buf.substr(start, e - start + 1);
            if (candidate.size() < kMinFrameLength) {
                dropped(DropReason::TooShort, candidate);
            } else if (!validateFrame(candidate)) {
                dropped(DropReason::BadChecksum, candidate);
            } else {
                ++accepted;
                onFrame(candidate);
            }
            pos = e + 1;
            s = findFrom(buf, pos, '%');
            e = findFrom(buf, pos, '#');
            dropStrayEnd();
        }
    }

    const std::string_view rest = buf.substr(pos);
    if (rest.size() > kMaxLeftover) {
        keepTail(rest);
    } else {
        // s and e are the first markers at or after pos, so they describe the rest exactly.
        leftoverHasStart_ = s != npos;
        leftoverHasEnd_ = e != npos;
        if (inPlace)
            leftover_.assign(rest);
        else
            leftover_.erase(0, leftover_.size() - rest.size());
    }
    return accepted;
}

void FrameAssembler::keepTail(std::string_view rest) {
    // Keep only the last frame start, and not even that if it alone is oversized.
    const std::size_t lastStart = rest.rfind('%');
    if (lastStart != npos && rest.substr(0, lastStart).find('%') != npos)
        dropped(DropReason::NoEnd, rest.substr(0, lastStart));
    rest = lastStart == npos ? std::string_view{} : rest.substr(lastStart);
    if (rest.size() > kMaxLeftover) {
        dropped(DropReason::NoEnd, rest);
        rest = {};
    }
    leftoverHasStart_ = !rest.empty();
    leftoverHasEnd_ = rest.find('#') != npos;
    leftover_ = std::string(rest); // rest may point into leftover_ itself
}

} // namespace quorvel
