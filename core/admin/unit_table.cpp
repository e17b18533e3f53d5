#include "admin/unit_table.h"

#include <cctype>
#include <cstdio>

namespace quorvel {
namespace {

std::string unitPath(int unit, int slot) {
    return "units[" + std::to_string(unit) + "][" + std::to_string(slot) + "]";
}

} // namespace

std::string unitSlotText(int value) {
    char buf[8];
    if (value == 0) return "NULL";
    if (value >= 1 && value <= 12) {
        std::snprintf(buf, sizeof buf, "CH%02d", value);
        return buf;
    }
    if (value >= 13 && value <= 16) {
        std::snprintf(buf, sizeof buf, "M%02d", value - 12);
        return buf;
    }
    return {};
}

std::optional<int> parseUnitSlotValue(std::string_view text) {
    std::string up;
    for (char c : text)
        up += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (int v = 0; v < kUnitSlotValues; ++v)
        if (up == unitSlotText(v)) return v;
    if (up.empty() || up.size() > 2) return std::nullopt;
    int v = 0;
    for (char c : up) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v >= kUnitSlotValues) return std::nullopt;
    return v;
}

bool unitsValid(const DeviceState& s, std::string* why) {
    bool used[kUnitSlotValues] = {};
    for (int u = 0; u < kUnits; ++u)
        for (int k = 0; k < kUnitSlots; ++k) {
            const int v = s.units[static_cast<std::size_t>(u)][static_cast<std::size_t>(k)];
            if (v >= kUnitSlotValues) {
                if (why) *why = unitPath(u + 1, k + 1) + " holds " + std::to_string(v) + ", above 16";
                return false;
            }
            if (v != 0 && used[v]) {
                if (why)
                    *why = unitSlotText(v) + " is assigned twice (again at " + unitPath(u + 1, k + 1) + ")";
                return false;
            }
            used[v] = true;
        }
    return true;
}

} // namespace quorvel
