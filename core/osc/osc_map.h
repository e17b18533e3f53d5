// The OSC address space, generated from the field registry by one reversible rule: a path's dots
// and brackets become slashes under /quorvel (`input[3].peq[2].bandGain` is
// /quorvel/input/3/peq/2/bandGain, `units[2][5]` /quorvel/units/2/5). A field's own address takes
// a float 0..1 over its raw range (toggles: 0 or 1), its `/raw` address the raw integer, a name's
// address a UTF-8 string.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "link/field_registry.h"

namespace quorvel::osc {

inline constexpr std::string_view kRoot = "/quorvel";
inline constexpr std::string_view kRawSuffix = "/raw";
inline constexpr std::string_view kSubscribeAddress = "/quorvel/subscribe";
inline constexpr std::string_view kUnsubscribeAddress = "/quorvel/unsubscribe";
inline constexpr std::string_view kMetersAddress = "/quorvel/meters";
inline constexpr std::string_view kMeterRateAddress = "/quorvel/meters/rate";

struct OscEntry {
    FieldId field = 0;
    std::string address; // without the /raw suffix
    bool toggle = false; // raw range 0..1: the address takes 0 or 1
    bool name = false;   // a string, no /raw address
    bool readOnly = false;
};

// "input[3].level" -> "/quorvel/input/3/level"; pathOfAddress is its inverse and gives nullopt
// for an address no path could have produced.
std::string addressOfPath(std::string_view path);
std::optional<std::string> pathOfAddress(std::string_view address);

// raw = min + round(unit * (max - min)), half away from zero, unit in 0..1; so the unit value
// feedback sends for a raw value always comes back as that same raw value.
std::int32_t rawFromUnit(const FieldInfo& f, double unit);
double unitFromRaw(const FieldInfo& f, std::int32_t raw);

class OscMap {
public:
    static const OscMap& instance();

    struct Target {
        const OscEntry* entry = nullptr;
        bool raw = false;
    };
    std::optional<Target> resolve(std::string_view address) const;
    // nullptr for the fields with no address (meters, which go out on /quorvel/meters together,
    // and the report counter).
    const OscEntry* entryOf(FieldId field) const;
    const std::vector<OscEntry>& entries() const { return entries_; }

    // One line per address with its argument type, range, access and registry path: what a
    // tablet layout is built from.
    std::string text() const;

private:
    OscMap();
    std::vector<OscEntry> entries_;
    std::vector<int> byField_; // field id -> entries_ index, -1 when the field has no address
    std::unordered_map<std::string, std::size_t> byAddress_;
};

// What /quorvel/meters carries, in this order: the meters a status report brings (inputs 1..12,
// outputs 1..8, then delay in, delay out, reverberation in, out), each raw 0..255.
inline constexpr int kMeterInputs = 12;
inline constexpr int kMeterValues = kMeterInputs + kOutputRecords + 4;
std::vector<std::int32_t> meterValues(const DeviceState& s);

} // namespace quorvel::osc
