#include "app/readout.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "link/gbk.h"

namespace quorvel {
namespace {

// How a raw value is shown; the typed entry reads the same unit back.
enum class Fmt { None, Switch, Db60, Pan, Gain150, Hz, Q10, Ms, Ratio10, TenthDb, Sec10, Percent };

struct Slot {
    std::string path;
    Fmt fmt = Fmt::None;
};

struct KindInfo {
    std::string en;
    std::string zh;
    Slot v1;
    Slot v2;
};

std::string num(int n) {
    return std::to_string(n);
}

std::string inputPath(int record, const std::string& field) {
    return "input[" + num(record) + "]." + field;
}
std::string outputPath(int n, const std::string& field) {
    return "output[" + num(n) + "]." + field;
}

KindInfo describeInput(int record, int kind) {
    auto in = [&](const std::string& f) { return inputPath(record, f); };
    if (kind == 1) return {"MUTE", "静音", {in("mute"), Fmt::Switch}, {}};
    if (kind == 2) return {"SOLO", "监听", {in("solo"), Fmt::Switch}, {}};
    if (kind == 3) return {"VOL", "音量", {in("level"), Fmt::Db60}, {}};
    if (kind == 4) return {"PHASE", "声像", {in("pan"), Fmt::Pan}, {}};
    if (kind >= 5 && kind <= 19) {
        const int band = (kind - 5) / 3 + 1;
        const std::string b = num(band);
        const std::string peq = "peq[" + b + "].";
        switch ((kind - 5) % 3) {
        case 0:
            return {"BAND" + b + " GAIN", "频段" + b + "增益", {in(peq + "bandGain"), Fmt::Gain150}, {}};
        case 1:
            return {"BAND" + b + " FREQ", "频段" + b + "频率", {in(peq + "bandFreq"), Fmt::Hz}, {}};
        default:
            return {"BAND" + b + " Q", "频段" + b + "Q值", {in(peq + "bandQ"), Fmt::Q10}, {}};
        }
    }
    if (kind == 20 || kind == 27) return {"HPF", "高通", {in("hpfFreq"), Fmt::Hz}, {}};
    if (kind == 21 || kind == 28) return {"LPF", "低通", {in("lpfFreq"), Fmt::Hz}, {}};
    if (kind >= 22 && kind <= 26) {
        const std::string b = num(kind - 21);
        const std::string peq = "peq[" + b + "].";
        return {
            "BAND" + b, "频段" + b, {in(peq + "bandGain"), Fmt::Gain150}, {in(peq + "bandFreq"), Fmt::Hz}};
    }
    if (kind >= 41 && kind <= 49) {
        static const char* const kEn[9] = {"MAIN VOL", "AUX1", "AUX2",  "AUX3",         "AUX4",
                                           "AUX5",     "AUX6", "Delay", "Reverberation"};
        static const char* const kZh[9] = {"主音量", "辅助1", "辅助2", "辅助3", "辅助4",
                                           "辅助5",  "辅助6", "延时",  "混响"};
        const int k = kind - 41;
        return {kEn[k], kZh[k], {in("sendLevel[" + num(k + 1) + "]"), Fmt::Db60}, {}};
    }
    switch (kind) {
    case 51:
        return {"Threshold", "阀值", {in("gateThreshold"), Fmt::Db60}, {}};
    case 52:
        return {"Attack", "启动时间", {in("gateAttack"), Fmt::Ms}, {}};
    case 53:
        return {"Release", "释放时间", {in("gateRelease"), Fmt::Ms}, {}};
    case 54:
        return {"Threshold", "阀值", {in("compThreshold"), Fmt::Db60}, {}};
    case 55:
        return {"Ratio", "斜率", {in("compRatio"), Fmt::Ratio10}, {}};
    case 56:
        return {"Attack", "启动时间", {in("compAttack"), Fmt::Ms}, {}};
    case 57:
        return {"Release", "释放时间", {in("compRelease"), Fmt::Ms}, {}};
    case 58:
        return {"Gain", "增益", {in("compGain"), Fmt::TenthDb}, {}};
    case 61:
        return {"Threshold", "阀值", {in("gateThreshold"), Fmt::Db60}, {}};
    default:
        break;
    }
    // Effect returns: the record's parameters hold the delay in words 1..4 and the
    // reverberation in words 6..11.
    auto eff = [&](int word) { return in("effectParams[" + num(word) + "]"); };
    if (kind >= 62 && kind <= 65) {
        const std::string d = num(kind - 61);
        return {"Delay" + d, "延时" + d, {eff(kind - 56), Fmt::Ms}, {}};
    }
    switch (kind) {
    case 66:
        return {"Rev time", "混响时间", {eff(10), Fmt::Sec10}, {}};
    case 67:
        return {"LPF", "低通", {eff(11), Fmt::Hz}, {}};
    case 68:
        return {"Pre delay1", "预延时1", {eff(1), Fmt::Ms}, {}};
    case 69:
        return {"Pre delay2", "预延时2", {eff(2), Fmt::Ms}, {}};
    case 70:
        return {"Feedback", "反馈", {eff(3), Fmt::Percent}, {}};
    case 71:
        return {"LPF", "低通", {eff(4), Fmt::Hz}, {}};
    default:
        return {};
    }
}

KindInfo describeOutput(int n, int kind) {
    auto out = [&](const std::string& f) { return outputPath(n, f); };
    switch (kind) {
    case 1:
        return {"MUTE", "静音", {out("mute"), Fmt::Switch}, {}};
    // Outputs have no solo or pan of their own: the name is shown, the value stays empty.
    case 2:
        return {"SOLO", "监听", {}, {}};
    case 3:
        return {"VOL", "音量", {out("level"), Fmt::Db60}, {}};
    case 4:
        return {"PHASE", "声像", {}, {}};
    case 41:
        return {"Threshold", "阀值", {out("limiter[2]"), Fmt::Db60}, {}};
    case 42:
        return {"Ratio", "斜率", {out("limiter[6]"), Fmt::Ratio10}, {}};
    case 43:
        return {"Attack", "启动时间", {out("limiter[3]"), Fmt::Ms}, {}};
    case 44:
        return {"Release", "释放时间", {out("limiter[4]"), Fmt::Ms}, {}};
    case 45:
        return {"Gain", "增益", {out("limiter[5]"), Fmt::TenthDb}, {}};
    default:
        break;
    }
    if (kind >= 5 && kind <= 35) {
        const std::string b = num(kind - 4);
        return {"BAND" + b, "频段" + b, {out("geq[" + b + "]"), Fmt::Gain150}, {}};
    }
    return {};
}

KindInfo describe(int readoutChannel, int kind) {
    if (readoutChannel < 0 || readoutChannel >= kReadoutChannels || kind <= 0) return {};
    if (readoutChannel < kReadoutFirstOutput) return describeInput(readoutChannel + 1, kind);
    return describeOutput(readoutChannel - kReadoutFirstOutput + 1, kind);
}

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

std::string formatValue(Fmt f, std::int32_t raw) {
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

std::optional<ReadoutTarget> readoutFor(FieldId field) {
    // Built once: about 26 x 71 descriptions, looked up on every edit.
    static const std::vector<std::optional<ReadoutTarget>> table = [] {
        const FieldRegistry& reg = FieldRegistry::instance();
        std::vector<std::optional<ReadoutTarget>> t(reg.fields().size());
        constexpr int kLastKind = 71;
        for (int ch = 0; ch < kReadoutChannels; ++ch)
            for (int kind = 1; kind <= kLastKind; ++kind) {
                const KindInfo k = describe(ch, kind);
                const FieldInfo* f = k.v1.path.empty() ? nullptr : reg.find(k.v1.path);
                if (!f) continue;
                auto& slot = t[static_cast<std::size_t>(f - reg.fields().data())];
                if (!slot) slot = ReadoutTarget{ch, kind};
            }
        return t;
    }();
    return field < table.size() ? table[field] : std::nullopt;
}

ReadoutText formatReadout(const DeviceState& s, int readoutChannel, int kind, int languageFlag) {
    ReadoutText r;
    if (readoutChannel >= 0 && readoutChannel < kReadoutFirstOutput)
        r.channelName = gbkToUtf8(nameView(s.input[static_cast<std::size_t>(readoutChannel)].name));
    else if (readoutChannel >= kReadoutFirstOutput && readoutChannel < kReadoutChannels)
        r.channelName = gbkToUtf8(
            nameView(s.output[static_cast<std::size_t>(readoutChannel - kReadoutFirstOutput)].name));
    const KindInfo k = describe(readoutChannel, kind);
    r.paramName = languageFlag == 2 ? k.zh : k.en;
    const auto& reg = FieldRegistry::instance();
    if (const FieldInfo* f = k.v1.path.empty() ? nullptr : reg.find(k.v1.path))
        r.value1 = formatValue(k.v1.fmt, FieldRegistry::get(s, *f));
    if (const FieldInfo* f = k.v2.path.empty() ? nullptr : reg.find(k.v2.path))
        r.value2 = formatValue(k.v2.fmt, FieldRegistry::get(s, *f));
    return r;
}

TypedValueResult applyTypedValue(DeviceState& s, int readoutChannel, int kind, int fieldIndex,
                                 std::string_view text) {
    TypedValueResult result;
    const KindInfo k = describe(readoutChannel, kind);
    const Slot& slot = fieldIndex == 0 ? k.v1 : k.v2;
    if (fieldIndex != 0 && fieldIndex != 1) return result;
    if (slot.path.empty() || slot.fmt == Fmt::None) return result;
    const FieldInfo* f = FieldRegistry::instance().find(slot.path);
    if (!f) return result;

    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    std::int32_t raw = 0;
    if (slot.fmt == Fmt::Switch) {
        while (!upper.empty() && std::isspace(static_cast<unsigned char>(upper.back())))
            upper.pop_back();
        if (upper == "OPEN")
            raw = 1;
        else if (upper == "CLOSE")
            raw = 0;
        else
            return result;
    } else {
        const std::optional<double> v = parseNumber(slot.fmt, upper);
        if (!v) return result;
        // Clamp in the shown unit first so that huge inputs cannot overflow the conversion.
        const double lo = toDisplay(slot.fmt, f->min);
        const double hi = toDisplay(slot.fmt, f->max);
        const double shown = std::fmin(std::fmax(*v, lo), hi);
        std::int64_t r = toRaw(slot.fmt, shown);
        if (r < f->min) r = f->min;
        if (r > f->max) r = f->max;
        raw = static_cast<std::int32_t>(r);
    }
    FieldRegistry::set(s, *f, raw);
    result.applied = true;
    result.fieldPath = slot.path;
    result.carrier = f->carrier;
    return result;
}

} // namespace quorvel
