#include "mixing/effects_text.h"

#include <array>

#include "presets/data_text.h"

namespace quorvel {

namespace {
constexpr std::array<int, 4> kDelayDigits = {4, 4, 2, 4};
constexpr std::array<int, 6> kReverbDigits = {2, 2, 2, 2, 2, 4};

template <std::size_t N>
std::string encode(const InputChannel& ch, std::size_t first, const std::array<int, N>& digits) {
    std::string t;
    for (std::size_t i = 0; i < N; ++i) {
        appendHex(t, ch.effectParams[first + i], digits[i]);
    }
    return t;
}

template <std::size_t N>
bool decode(std::string_view text, std::string_view table, std::size_t length, InputChannel& ch,
            std::size_t first, const std::array<int, N>& digits, std::string& error) {
    std::array<std::int32_t, N> values{};
    HexReader r(text, table, length);
    for (std::size_t i = 0; i < N; ++i) {
        r.group(digits[i], values[i]);
    }
    if (!r.finish()) {
        error = r.error();
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        ch.effectParams[first + i] = values[i];
    }
    return true;
}
} // namespace

std::string delayDataText(const DeviceState& s) {
    return encode(s.in(kDelayReturnChannel), kDelayFirstParam, kDelayDigits);
}

std::string reverbDataText(const DeviceState& s) {
    return encode(s.in(kReverbReturnChannel), kReverbFirstParam, kReverbDigits);
}

bool readDelayDataText(std::string_view text, DeviceState& s, std::string& error) {
    return decode(text, "DELAY", kDelayTextLength, s.in(kDelayReturnChannel), kDelayFirstParam, kDelayDigits,
                  error);
}

bool readReverbDataText(std::string_view text, DeviceState& s, std::string& error) {
    return decode(text, "REV", kReverbTextLength, s.in(kReverbReturnChannel), kReverbFirstParam,
                  kReverbDigits, error);
}

} // namespace quorvel
