#include "link/field_display.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "link/gbk.h"

namespace quorvel {
namespace {

using Fmt = DisplayFormat;

double toDisplay(Fmt f, std::int32_t rawValue) {
    const double raw = rawValue;
    switch (f) {
    case Fmt::Db60:
        return raw - 60;
    case Fmt::Pan:
        return (raw - 100) * 0.01;
    case Fmt::Gain150:
        return (raw - 150) * 0.1;
    case Fmt::Q10:
    case Fmt::Ratio10:
    case Fmt::TenthDb:
    case Fmt::Sec10:
        return raw * 0.1;
    default:
        return raw;
    }
}

std::int64_t toRaw(Fmt f, double v) {
    switch (f) {
    case Fmt::Db60:
        return std::llround(v) + 60;
    case Fmt::Pan:
        return std::llround(v * 100.0) + 100;
    case Fmt::Gain150:
        return std::llround(v * 10.0) + 150;
    case Fmt::Q10:
    case Fmt::Ratio10:
    case Fmt::TenthDb:
    case Fmt::Sec10:
        return std::llround(v * 10.0);
    default:
        return std::llround(v);
    }
}

} // namespace

double toDisplayUnit(DisplayFormat f, std::int32_t raw) {
    return toDisplay(f, raw);
}

std::string formatDisplayValue(DisplayFormat f, std::int32_t raw) {
    char buf[48];
    const double d = toDisplay(f, raw);
    switch (f) {
    case Fmt::None:
        return {};
    case Fmt::Switch:
        return raw ? "OPEN" : "CLOSE";
    case Fmt::Db60:
        std::snprintf(buf, sizeof buf, "%llddB", static_cast<long long>(raw) - 60);
        break;
    case Fmt::Pan:
        std::snprintf(buf, sizeof buf, "%0.2f", d);
        break;
    case Fmt::Gain150:
    case Fmt::TenthDb:
        std::snprintf(buf, sizeof buf, "%0.1fdB", d);
        break;
    case Fmt::Hz:
        std::snprintf(buf, sizeof buf, "%dHz", raw);
        break;
    case Fmt::Q10:
        std::snprintf(buf, sizeof buf, "%0.2f", d);
        break;
    case Fmt::Ms:
        std::snprintf(buf, sizeof buf, "%dms", raw);
        break;
    case Fmt::Ratio10:
        std::snprintf(buf, sizeof buf, "1:%0.1f", d);
        break;
    case Fmt::Sec10:
        std::snprintf(buf, sizeof buf, "%0.1fs", d);
        break;
    case Fmt::Percent:
        std::snprintf(buf, sizeof buf, "%d%%", raw);
        break;
    }
    return buf;
}

namespace {

bool endsWith(const std::string& s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

struct UnitSuffix {
    const char* text;
    double factor; // into the unit the readout shows
};

// The units a kind may be typed in. A unit of another kind is refused rather than ignored:
// "5K" in a level field must not read as 5000 dB and throw the fader to its top.
std::vector<UnitSuffix> suffixesFor(Fmt f) {
    switch (f) {
    case Fmt::Db60:
    case Fmt::Gain150:
    case Fmt::TenthDb:
        return {{"DB", 1.0}};
    case Fmt::Hz:
        return {{"KHZ", 1000.0}, {"HZ", 1.0}, {"K", 1000.0}};
    case Fmt::Ms:
        return {{"MS", 1.0}, {"S", 1000.0}};
    case Fmt::Sec10:
        return {{"MS", 0.001}, {"S", 1.0}};
    case Fmt::Percent:
        return {{"%", 1.0}};
    default:
        return {};
    }
}

// Reads a number in the unit shown; the unit itself may be typed or left out.
std::optional<double> parseNumber(Fmt f, std::string t) {
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back())))
        t.pop_back();
    std::size_t start = 0;
    while (start < t.size() && std::isspace(static_cast<unsigned char>(t[start])))
        ++start;
    t.erase(0, start);
    double scale = 1.0;
    if (f == Fmt::Ratio10 && t.rfind("1:", 0) == 0) t.erase(0, 2);
    for (const UnitSuffix& u : suffixesFor(f)) {
        if (endsWith(t, u.text)) {
            t.erase(t.size() - std::string_view(u.text).size());
            scale = u.factor;
            break;
        }
    }
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back())))
        t.pop_back();
    if (t.empty()) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(v)) return std::nullopt;
    // strtod also takes hexadecimal and exponents; a typed value is plain decimal.
    for (char c : t)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+'))
            return std::nullopt;
    return v * scale;
}

} // namespace

ReadoutText formatReadout(const DeviceState& s, int readoutChannel, int kind, int languageFlag) {
    ReadoutText r;
    if (readoutChannel >= 0 && readoutChannel < kReadoutFirstOutput)
        r.channelName = gbkToUtf8(nameView(s.input[static_cast<std::size_t>(readoutChannel)].name));
    else if (readoutChannel >= kReadoutFirstOutput && readoutChannel < kReadoutChannels)
        r.channelName = gbkToUtf8(
            nameView(s.output[static_cast<std::size_t>(readoutChannel - kReadoutFirstOutput)].name));
    const ReadoutKindInfo k = readoutKind(readoutChannel, kind);
    r.paramName = languageFlag == 2 ? k.zh : k.en;
    const auto& reg = FieldRegistry::instance();
    if (const FieldInfo* f = k.v1.path.empty() ? nullptr : reg.find(k.v1.path))
        r.value1 = formatDisplayValue(k.v1.format, FieldRegistry::get(s, *f));
    if (const FieldInfo* f = k.v2.path.empty() ? nullptr : reg.find(k.v2.path))
        r.value2 = formatDisplayValue(k.v2.format, FieldRegistry::get(s, *f));
    return r;
}

std::optional<ReadoutRef> readoutFor(FieldId field) {
    const auto& reg = FieldRegistry::instance();
    if (!reg.valid(field) || reg.field(field).readout.channel < 0) return std::nullopt;
    return reg.field(field).readout;
}

std::optional<FieldId> fieldForReadout(int readoutChannel, int kind, int slot) {
    if (slot != 0 && slot != 1) return std::nullopt;
    const ReadoutKindInfo k = readoutKind(readoutChannel, kind);
    const ReadoutSlotInfo& r = slot == 0 ? k.v1 : k.v2;
    if (r.path.empty() || r.format == Fmt::None) return std::nullopt;
    return FieldRegistry::instance().idOf(r.path);
}

std::string formatField(const DeviceState& s, FieldId field) {
    const auto& reg = FieldRegistry::instance();
    if (!reg.valid(field)) return {};
    const FieldInfo& f = reg.field(field);
    if (f.kind == FieldKind::Name) return gbkToUtf8(FieldRegistry::getName(s, f));
    return formatDisplayValue(f.format, FieldRegistry::get(s, f));
}

std::optional<std::int32_t> parseDisplayValue(FieldId field, std::string_view text) {
    const auto& reg = FieldRegistry::instance();
    if (!reg.valid(field)) return std::nullopt;
    const FieldInfo& f = reg.field(field);
    if (f.kind == FieldKind::Name || f.format == Fmt::None) return std::nullopt;

    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    if (f.format == Fmt::Switch) {
        while (!upper.empty() && std::isspace(static_cast<unsigned char>(upper.back())))
            upper.pop_back();
        if (upper == "OPEN") return 1;
        if (upper == "CLOSE") return 0;
        return std::nullopt;
    }
    const std::optional<double> v = parseNumber(f.format, upper);
    if (!v) return std::nullopt;
    // Clamp in the shown unit first so that huge inputs cannot overflow the conversion.
    const double lo = toDisplay(f.format, f.min);
    const double hi = toDisplay(f.format, f.max);
    const double shown = std::fmin(std::fmax(*v, lo), hi);
    std::int64_t r = toRaw(f.format, shown);
    if (r < f.min) r = f.min;
    if (r > f.max) r = f.max;
    return static_cast<std::int32_t>(r);
}

} // namespace quorvel
