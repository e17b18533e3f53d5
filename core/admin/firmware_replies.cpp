#include "admin/firmware_replies.h"

#include "admin/firmware_image.h"
#include "link/frame.h"

namespace quorvel::firmware {

bool hasMarker(std::string_view text, std::string_view marker) {
    return text.find(marker) != std::string_view::npos;
}

bool hasErrorReply(std::string_view text) {
    return hasMarker(text, "%e,");
}

bool hasBlockAck(std::string_view text, int index) {
    for (std::size_t at = text.find("%Y"); at != std::string_view::npos; at = text.find("%Y", at + 2)) {
        // "%Y,<unit>,<target>,<index>,"
        std::string_view rest = text.substr(at + 2);
        std::string_view fields[3];
        bool named = true;
        for (auto& f : fields) {
            if (rest.empty() || rest.front() != ',') {
                named = false;
                break;
            }
            rest.remove_prefix(1);
            const std::size_t comma = rest.find(',');
            if (comma == std::string_view::npos) {
                named = false;
                break;
            }
            f = rest.substr(0, comma);
            rest.remove_prefix(comma);
        }
        if (!named || fields[2].empty() || fields[2].size() > 4) return true;
        bool hex = true;
        for (char c : fields[2])
            hex = hex && ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
        if (!hex) return true;
        if (static_cast<int>(decodeHexField(fields[2])) == index) return true;
    }
    return false;
}

EndReply scanEndReply(std::string_view text) {
    const std::size_t at = text.find("%U");
    if (at == std::string_view::npos) return {};
    if (text.size() < at + 8) return {EndReply::Kind::TooShort, -1};
    const char hi = text[at + 6], lo = text[at + 7];
    auto isHex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    };
    if (!isHex(hi) || !isHex(lo)) return {EndReply::Kind::Malformed, -1};
    return {EndReply::Kind::Code, hexPair(hi, lo)};
}

std::optional<std::string> scanVersionReply(std::string_view text, char letter) {
    const char head[] = {'%', letter, ',', '0', '1', ','};
    const std::string_view prefix(head, sizeof head);
    std::size_t from = 0;
    while ((from = text.find(prefix, from)) != std::string_view::npos) {
        const std::size_t end = text.find('#', from);
        if (end == std::string_view::npos) return std::nullopt;
        const std::string_view frame = text.substr(from, end - from + 1);
        from += prefix.size();
        if (!validateFrame(frame)) continue;
        const std::string_view rest = frame.substr(prefix.size());
        const std::size_t comma = rest.find(',');
        if (comma == std::string_view::npos) continue;
        const std::string_view digits = rest.substr(0, comma);
        if (versionNumber(digits)) return std::string(digits);
    }
    return std::nullopt;
}

} // namespace quorvel::firmware
