#include "automixer.h"

#include <algorithm>
#include <cmath>

namespace quorvel::sim {
namespace {

constexpr int kAllOpen = (1 << kGatedChannels) - 1;

int bit(int channel) {
    return 1 << (channel - 1);
}

} // namespace

void Automixer::update(Clock::time_point now, const std::array<int, kGatedChannels>& meters,
                       const DeviceState& s) {
    const AutomixSettings& a = s.automix;
    const auto hold = std::chrono::milliseconds(50) * std::clamp(a.holdTime, 1, 100);
    for (int c = 1; c <= kGatedChannels; ++c) {
        const auto i = static_cast<std::size_t>(c - 1);
        const InputChannel& ch = s.in(c);
        bool want = false;
        if (ch.mute) {
            heard_[i] = false; // what was said before the mute holds nothing open after it
        } else if (above(meters[i], ch.automixThreshold)) {
            heard_[i] = true;
            lastAbove_[i] = now;
            want = true;
        } else {
            want = heard_[i] && now - lastAbove_[i] < hold;
        }
        if (want && !wanting_[i]) wantSince_[i] = now;
        wanting_[i] = want;
    }

    const int before = openMask_;
    int mask = 0;
    if (a.manualMode) {
        mask = kAllOpen;
        heldChannel_ = 0;
    } else {
        int order[kGatedChannels];
        int n = 0;
        for (int c = 1; c <= kGatedChannels; ++c)
            if (wanting(c)) order[n++] = c;
        auto first = [&](int x, int y) {
            const bool px = s.in(x).priority != 0, py = s.in(y).priority != 0;
            if (px != py) return px;
            const auto wx = wantSince_[static_cast<std::size_t>(x - 1)];
            const auto wy = wantSince_[static_cast<std::size_t>(y - 1)];
            if (wx != wy) return wx < wy;
            return x < y;
        };
        for (int i = 1; i < n; ++i) // eight at most: an insertion sort is plenty
            for (int j = i; j > 0 && first(order[j], order[j - 1]); --j)
                std::swap(order[j], order[j - 1]);
        const int maxOpen = std::clamp(a.maxOpenChannels, 1, kGatedChannels);
        for (int k = 0; k < n && k < maxOpen; ++k)
            mask |= bit(order[k]);

        int keep = 0;
        if (mask == 0 && a.lastHold) {
            keep = heldChannel_;
            if (keep == 0) {
                // The room has just gone quiet: of the channels open until now, the one opened
                // last stays.
                for (int c = 1; c <= kGatedChannels; ++c) {
                    if (!(before & bit(c))) continue;
                    if (keep == 0 || openedAt_[static_cast<std::size_t>(c - 1)] >=
                                         openedAt_[static_cast<std::size_t>(keep - 1)])
                        keep = c;
                }
            }
            if (keep != 0 && s.in(keep).mute) keep = 0;
        }
        heldChannel_ = keep;
        if (keep) mask = bit(keep);
    }
    for (int c = 1; c <= kGatedChannels; ++c)
        if ((mask & bit(c)) && !(before & bit(c))) openedAt_[static_cast<std::size_t>(c - 1)] = now;
    openMask_ = mask;
}

int Automixer::gainDb(int channel, const AutomixSettings& a) const {
    if (channel < 1 || channel > kGatedChannels || a.manualMode) return 0;
    if (!(openMask_ & bit(channel))) return -(60 - std::clamp(a.closedChannelAttenuation, 0, 60));
    const int open = openCount();
    if (open <= 1) return 0;
    const int nom = static_cast<int>(std::lround(10.0 * std::log10(open)));
    return -std::min(nom, 30 - std::clamp(a.nomAttenuation, 20, 30));
}

} // namespace quorvel::sim
