// Reading the device's answers during a firmware update. The transfer replies are looked for in
// whatever text arrived, as the device's updater always did; the version replies must be whole
// frames with a valid checksum.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel::firmware {

bool hasMarker(std::string_view text, std::string_view marker);
// The device's refusal of a start or a block ("%e,01,<code>,").
bool hasErrorReply(std::string_view text);

// An acknowledgement of block index: a "%Y" whose index field is this block's, or one that names
// no index at all. An acknowledgement of another block (a late reply to a block sent again) is not.
bool hasBlockAck(std::string_view text, int index);

struct EndReply {
    enum class Kind { Absent, TooShort, Malformed, Code };
    Kind kind = Kind::Absent;
    int code = -1; // Kind::Code: the result, 0 success
};
// The result code stands at the two characters six and seven places after "%U".
EndReply scanEndReply(std::string_view text);

// The digits of the first valid frame "%<letter>,01,<digits>," in text: 'r' carries the basic
// version, 'z' the hardware version.
std::optional<std::string> scanVersionReply(std::string_view text, char letter);

} // namespace quorvel::firmware
