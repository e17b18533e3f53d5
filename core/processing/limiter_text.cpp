#include "processing/limiter_text.h"

#include "presets/data_text.h"

namespace quorvel {

namespace {
// Text position k holds storage element kOrder[k].
constexpr std::array<std::size_t, 6> kOrder = {0, 1, 5, 2, 3, 4};
} // namespace

std::string limiterDataText(const std::array<std::int32_t, 6>& limiter) {
    std::string t;
    for (const std::size_t i : kOrder) {
        appendHex(t, limiter[i], 2);
    }
    return t;
}

bool readLimiterDataText(std::string_view text, std::array<std::int32_t, 6>& limiter, std::string& error) {
    auto l = limiter;
    HexReader r(text, "LIMIT", kLimiterTextLength);
    for (const std::size_t i : kOrder) {
        r.group(2, l[i]);
    }
    if (!r.finish()) {
        error = r.error();
        return false;
    }
    limiter = l;
    return true;
}

} // namespace quorvel
