// The device's frame: "%", a letter, comma-terminated hex fields, a CRC-16/MODBUS over all of
// that, and "#". Both directions use it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

inline constexpr int kUnitId = 1;
inline constexpr std::size_t kMinFrameLength = 9;

std::uint16_t frameChecksum(std::string_view text);

// Builds one frame; every add* appends the field followed by ",".
class CommandFrame {
public:
    explicit CommandFrame(char letter);
    CommandFrame& x2(int v);               // "%02X"
    CommandFrame& x4(int v);               // "%04X"
    CommandFrame& dec(int v);              // "%d"
    CommandFrame& raw(std::string_view s); // text as given, no comma
    CommandFrame& comma();
    // Appends checksum and "#"; the frame cannot be extended afterwards.
    std::string finish() &&;
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

void appendX2(std::string& s, int v);
void appendX4(std::string& s, int v);
void appendX1(std::string& s, int v);

// A received candidate ("%" .. "#") is accepted only when re-rendering its checksum gives the
// very same text; lower-case checksum digits therefore fail.
bool validateFrame(std::string_view candidate);

// Hex decoding of report fields: any non-hex character counts as 0, case is ignored.
int hexDigitValue(char c);
inline int hexPair(char hi, char lo) {
    return hexDigitValue(hi) * 16 + hexDigitValue(lo);
}
// Whole field: odd lengths get a leading "0"; returns the bytes' big-endian value (up to 4 bytes).
std::uint32_t decodeHexField(std::string_view field);

} // namespace quorvel
