#include "processing/geq_text.h"

#include "presets/data_text.h"

namespace quorvel {

std::string geqDataText(const std::array<GeqSlot, kGeqBands>& geq) {
    std::string t;
    t.reserve(kGeqTextLength);
    for (const GeqSlot& slot : geq) {
        appendHex(t, slot.gain, 4);
    }
    return t;
}

bool readGeqDataText(std::string_view text, std::array<GeqSlot, kGeqBands>& geq, std::string& error) {
    std::array<std::int32_t, kGeqBands> gains{};
    HexReader r(text, "GEQ", kGeqTextLength);
    for (auto& g : gains) {
        r.group(4, g);
    }
    if (!r.finish()) {
        error = r.error();
        return false;
    }
    // Only the gains change; the rest of each slot belongs to nobody but is kept as it was.
    for (std::size_t i = 0; i < gains.size(); ++i) {
        geq[i].gain = gains[i];
    }
    return true;
}

} // namespace quorvel
