#include "osc/osc_map.h"

#include <cmath>
#include <sstream>

namespace quorvel::osc {
namespace {

std::string_view leafOf(std::string_view path) {
    const auto dot = path.rfind('.');
    return dot == std::string_view::npos ? path : path.substr(dot + 1);
}

// Meters change twenty times a second and go out together; the report counter means nothing to
// a surface.
bool hasAddress(const FieldInfo& f) {
    return leafOf(f.path) != "meter" && f.path != "reportNumber";
}

// The automixer's state words are the device's to report, not a surface's to set.
bool readOnly(const FieldInfo& f) {
    const std::string_view leaf = leafOf(f.path);
    return leaf == "channelOpen" || leaf == "lastOpen";
}

bool isDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool isName(std::string_view s) {
    if (s.empty() || !((s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z'))) return false;
    for (char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

} // namespace

std::string addressOfPath(std::string_view path) {
    std::string out(kRoot);
    out += '/';
    for (char c : path) {
        if (c == '.' || c == '[')
            out += '/';
        else if (c != ']')
            out += c;
    }
    return out;
}

std::optional<std::string> pathOfAddress(std::string_view address) {
    if (address.substr(0, kRoot.size()) != kRoot) return std::nullopt;
    address.remove_prefix(kRoot.size());
    std::string path;
    bool first = true;
    while (!address.empty()) {
        if (address[0] != '/') return std::nullopt;
        address.remove_prefix(1);
        const auto end = address.find('/');
        const std::string_view seg = address.substr(0, end);
        address = end == std::string_view::npos ? std::string_view{} : address.substr(end);
        if (isDigits(seg)) {
            if (first || seg[0] == '0') return std::nullopt; // indices count from 1, unpadded
            path += '[';
            path += seg;
            path += ']';
        } else if (isName(seg)) {
            if (!first) path += '.';
            path += seg;
        } else {
            return std::nullopt;
        }
        first = false;
    }
    if (path.empty()) return std::nullopt;
    return path;
}

std::int32_t rawFromUnit(const FieldInfo& f, double unit) {
    if (!(unit >= 0.0)) unit = 0.0; // also NaN
    if (unit > 1.0) unit = 1.0;
    const double span = static_cast<double>(f.max) - static_cast<double>(f.min);
    const double v = static_cast<double>(f.min) + std::round(unit * span);
    if (v <= f.min) return f.min;
    if (v >= f.max) return f.max;
    return static_cast<std::int32_t>(v);
}

double unitFromRaw(const FieldInfo& f, std::int32_t raw) {
    const double span = static_cast<double>(f.max) - static_cast<double>(f.min);
    if (span <= 0) return 0.0;
    const double u = (static_cast<double>(raw) - static_cast<double>(f.min)) / span;
    return u < 0 ? 0.0 : (u > 1 ? 1.0 : u);
}

const OscMap& OscMap::instance() {
    static const OscMap map;
    return map;
}

OscMap::OscMap() {
    const auto& fields = FieldRegistry::instance().fields();
    byField_.assign(fields.size(), -1);
    for (const FieldInfo& f : fields) {
        if (!hasAddress(f)) continue;
        OscEntry e;
        e.field = f.id;
        e.address = addressOfPath(f.path);
        e.name = f.kind == FieldKind::Name;
        e.toggle = !e.name && f.min == 0 && f.max == 1;
        e.readOnly = readOnly(f);
        byField_[f.id] = static_cast<int>(entries_.size());
        byAddress_.emplace(e.address, entries_.size());
        entries_.push_back(std::move(e));
    }
}

std::optional<OscMap::Target> OscMap::resolve(std::string_view address) const {
    bool raw = false;
    if (address.size() > kRawSuffix.size() &&
        address.substr(address.size() - kRawSuffix.size()) == kRawSuffix) {
        address.remove_suffix(kRawSuffix.size());
        raw = true;
    }
    const auto it = byAddress_.find(std::string(address));
    if (it == byAddress_.end()) return std::nullopt;
    const OscEntry& e = entries_[it->second];
    if (raw && e.name) return std::nullopt;
    return Target{&e, raw};
}

const OscEntry* OscMap::entryOf(FieldId field) const {
    if (field >= byField_.size() || byField_[field] < 0) return nullptr;
    return &entries_[static_cast<std::size_t>(byField_[field])];
}

std::string OscMap::text() const {
    std::ostringstream out;
    out << "# QUORVEL OSC address space (UDP). Columns: address, argument type, range, access, field.\n"
           "# f: float 0..1 over the field's raw range (raw = min + round(f * (max - min)));\n"
           "# i: integer, the raw value (toggles 0 or 1); s: UTF-8 name, at most 16 GBK bytes.\n"
           "# A message without arguments asks for the value. Changes come back on the same\n"
           "# addresses to every client that sent anything or subscribed.\n"
           "/quorvel/subscribe [f|i] 0..100 w register for changes; the argument asks for meters a second\n"
           "/quorvel/unsubscribe - - w stop changes and meters\n"
           "/quorvel/meters/rate f|i 0..100 w meters a second (0 stops them)\n"
           "/quorvel/meters i*24 0..255 r inputs 1..12, outputs 1..8, delay in/out, reverberation in/out\n";
    const auto& reg = FieldRegistry::instance();
    for (const OscEntry& e : entries_) {
        const FieldInfo& f = reg.field(e.field);
        const char* access = e.readOnly ? "r" : "rw";
        if (e.name) {
            out << e.address << " s 0.." << kNameBytes << " " << access << " " << f.path << "\n";
            continue;
        }
        if (e.toggle)
            out << e.address << " i 0..1 " << access << " " << f.path << "\n";
        else
            out << e.address << " f 0..1 " << access << " " << f.path << "\n";
        out << e.address << kRawSuffix << " i " << f.min << ".." << f.max << " " << access << " " << f.path
            << "\n";
    }
    return out.str();
}

std::vector<std::int32_t> meterValues(const DeviceState& s) {
    std::vector<std::int32_t> v;
    v.reserve(kMeterValues);
    for (int c = 1; c <= kMeterInputs; ++c)
        v.push_back(s.in(c).meter);
    for (int o = 1; o <= kOutputRecords; ++o)
        v.push_back(s.out(o).meter);
    for (std::int32_t m : s.effectMeters)
        v.push_back(m);
    return v;
}

} // namespace quorvel::osc
