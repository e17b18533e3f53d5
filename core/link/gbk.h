// Names travel as GBK bytes in 16-byte fields; the UI and the command line speak UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// nullopt when the text holds a character GBK cannot represent (or is not valid UTF-8).
std::optional<std::string> utf8ToGbk(std::string_view utf8);
// Invalid GBK sequences become U+FFFD rather than failing: device text is never trusted.
std::string gbkToUtf8(std::string_view gbk);
std::u16string gbkToUtf16(std::string_view gbk);
// Units GBK cannot hold are dropped.
std::string utf16ToGbk(std::u16string_view units);
// Byte count of the GBK form, or -1 when it cannot be converted.
int gbkByteCount(std::string_view utf8);

} // namespace quorvel
