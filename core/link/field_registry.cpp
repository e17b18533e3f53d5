#include "link/field_registry.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

#include "link/gbk.h"

namespace quorvel {
namespace {

constexpr std::size_t kInputBase = 0;
constexpr std::size_t kOutputBase = kInputBase + kInputRecords * sizeof(InputChannel);
constexpr std::size_t kDeviceBase = kOutputBase + kOutputRecords * sizeof(OutputChannel);
static_assert(kOutputBase == 6840 && kDeviceBase == 13336);
// Device block within the parameter area; what follows up to 19336 is reserved.
constexpr std::size_t kAutomixOffset = kDeviceBase;           // 11 words
constexpr std::size_t kUnitsOffset = kAutomixOffset + 11 * 4; // 20 bytes
constexpr std::size_t kUnitCountOffset = kUnitsOffset + kUnits * kUnitSlots;
constexpr std::size_t kDeviceTextOffset = kUnitCountOffset + 4;
constexpr std::size_t kReportNumberOffset = kDeviceTextOffset + kNameBytes;
constexpr std::size_t kSpanTimeOffset = kReportNumberOffset + 4;
static_assert(kSpanTimeOffset + 4 <= kSceneParamBytes);
constexpr std::size_t kMuteGroupBase = kSceneParamBytes;
constexpr std::size_t kControlGroupBase = kMuteGroupBase + kMuteGroups * kSceneMuteGroupBytes;
static_assert(kSceneMuteGroupBytes == sizeof(MuteGroup) && kSceneControlGroupBytes == sizeof(ControlGroup));

std::size_t diff(const void* p, const void* base) {
    return static_cast<std::size_t>(static_cast<const char*>(p) - static_cast<const char*>(base));
}

std::string idx(int i) {
    return "[" + std::to_string(i) + "]";
}

// What a field carries besides its place and range.
struct Extra {
    DisplayFormat format = DisplayFormat::None;
    int linkFlag = -1;
    bool choice = false;
};

constexpr Extra kToggle{DisplayFormat::Switch};

class Builder {
public:
    Builder(std::vector<FieldInfo>& out, const DeviceState& proto) : out_(out), proto_(proto) {}

    // The record the following fields belong to.
    void record(RecordKind kind, int index) {
        kind_ = kind;
        index_ = index;
    }

    // p points into proto_; recordBase is the record inside proto_ whose scene image starts at sceneBase.
    void add(std::string path, const void* p, const void* recordBase, std::size_t sceneBase, std::int32_t lo,
             std::int32_t hi, Carrier c, FieldKind kind = FieldKind::Int32, Extra x = {}) {
        FieldInfo f;
        f.path = std::move(path);
        f.kind = kind;
        f.min = lo;
        f.max = hi;
        f.stateOffset = diff(p, &proto_);
        f.sceneOffset = sceneBase + diff(p, recordBase);
        f.carrier = c;
        f.id = static_cast<FieldId>(out_.size());
        f.record = kind_;
        f.recordIndex = index_;
        f.format = x.format;
        f.linkFlag = x.linkFlag;
        f.choice = x.choice;
        out_.push_back(std::move(f));
    }

private:
    std::vector<FieldInfo>& out_;
    const DeviceState& proto_;
    RecordKind kind_ = RecordKind::Device;
    int index_ = 0;
};

void addInputs(Builder& b, const DeviceState& s) {
    for (int c = 1; c <= kInputRecords; ++c) {
        const InputChannel& ch = s.in(c);
        const std::size_t base = kInputBase + static_cast<std::size_t>(c - 1) * sizeof(InputChannel);
        const std::string p = "input" + idx(c) + ".";
        b.record(RecordKind::Input, c);
        auto add = [&](const std::string& name, const void* f, int lo, int hi, Carrier car, Extra x = {}) {
            b.add(p + name, f, &ch, base, lo, hi, car, FieldKind::Int32, x);
        };
        const bool analog = c <= kAnalogInputs;
        const bool mic = c <= 8;
        const Carrier none{};
        const Extra eq{DisplayFormat::None, cg::kLinkEq}, eqToggle{DisplayFormat::Switch, cg::kLinkEq};
        const Extra dyn{DisplayFormat::None, cg::kLinkComp}, dynToggle{DisplayFormat::Switch, cg::kLinkComp};
        for (int band = 1; band <= kPeqSlots; ++band) {
            const PeqBand& pb = ch.peq[static_cast<size_t>(band - 1)];
            Carrier g = band <= kPeqBands ? Carrier{'G', c, band} : none;
            std::string bp = "peq" + idx(band) + ".";
            add(bp + "bandFreq", &pb.bandFreq, 20, 20000, g, eq);
            add(bp + "bandGain", &pb.bandGain, 0, 300, g, eq);
            add(bp + "bandQ", &pb.bandQ, 1, 200, g, eq);
            add(bp + "bandType", &pb.bandType, 0, 2, g, eq);
        }
        add("peqOn", &ch.peqOn, 0, 1, Carrier{'G', c, 1}, eqToggle);
        const Carrier f{'F', c, 0}, e{'E', c, 0};
        add("hpfFreq", &ch.hpfFreq, 20, 20000, f, eq);
        add("hpfType", &ch.hpfType, 0, 255, f, eq);
        add("hpfSlope", &ch.hpfSlope, 2, 8, f, eq);
        add("hpfOn", &ch.hpfOn, 0, 1, f, eqToggle);
        add("lpfFreq", &ch.lpfFreq, 20, 20000, e, eq);
        add("lpfType", &ch.lpfType, 0, 255, e, eq);
        add("lpfSlope", &ch.lpfSlope, 2, 8, e, eq);
        add("lpfOn", &ch.lpfOn, 0, 1, e, eqToggle);
        // A exists for the analogue channels only; 13..20 name the outputs.
        const Carrier a = analog ? Carrier{'A', c, 0} : none;
        add("mute", &ch.mute, 0, 1, a, {DisplayFormat::Switch, cg::kLinkVolume});
        add("pan", &ch.pan, 0, 200, Carrier{'L', c, 0});
        add("level", &ch.level, 0, 70, a, {DisplayFormat::Db60, cg::kLinkVolume});
        add("solo", &ch.solo, 0, 1, none, kToggle);
        add("meter", &ch.meter, 0, 255, none);
        // O carries the source, the phantom mask and the gain step of channels 1..12.
        const Carrier o = analog ? Carrier{'O', c, 0} : none;
        add("phantom", &ch.phantom, 0, 1, o, {DisplayFormat::Switch, cg::kLinkPhantom});
        // Priority only means something where the automixer runs.
        add("priority", &ch.priority, 0, 1, mic ? Carrier{'L', c, 0} : none,
            {DisplayFormat::Switch, cg::kLinkPriority});
        add("danteSource", &ch.danteSource, 0, 4, o, {DisplayFormat::None, cg::kLinkSource, true});
        add("gainStep", &ch.gainStep, 0, mic ? 3 : 1, o, {DisplayFormat::None, cg::kLinkGain, true});
        add("automixThreshold", &ch.automixThreshold, 0, 80, Carrier{'L', c, 0});
        add("channelOpen", &ch.channelOpen, 0, 1, none);
        add("lastOpen", &ch.lastOpen, 0, 1, none);
        const Carrier comp = analog ? Carrier{'C', c, 0} : none;
        add("compEnabled", &ch.dynamics.compEnabled, 0, 1, comp, dynToggle);
        add("compThreshold", &ch.dynamics.compThreshold, 0, 60, comp, dyn);
        add("compAttack", &ch.dynamics.compAttack, 1, 250, comp, dyn);
        add("compRelease", &ch.dynamics.compRelease, 20, 250, comp, dyn);
        add("compGain", &ch.dynamics.compGain, 0, 200, comp, dyn);
        add("compRatio", &ch.dynamics.compRatio, 10, 100, comp, dyn);
        // No frame carries the gate; the device hears of a gate change through the channel's
        // matrix row, as it always has. The range is only ever stored.
        const Carrier gate = analog ? Carrier{'B', c, 0} : none;
        add("gateEnabled", &ch.gate.gateEnabled, 0, 1, gate, dynToggle);
        add("gateThreshold", &ch.gate.gateThreshold, 0, 60, gate, dyn);
        add("gateRange", &ch.gate.gateRange, -60, 60, none, dyn);
        add("gateAttack", &ch.gate.gateAttack, 1, 250, gate, dyn);
        add("gateRelease", &ch.gate.gateRelease, 20, 250, gate, dyn);
        const Carrier route = analog ? Carrier{'B', c, 0} : none;
        for (int k = 1; k <= 8; ++k)
            add("routeToOutput" + idx(k), &ch.routeToOutput[static_cast<size_t>(k - 1)], 0, 1, route,
                kToggle);
        for (int k = 1; k <= 9; ++k)
            add("sendLevel" + idx(k), &ch.sendLevel[static_cast<size_t>(k - 1)], 0, 70, none);
        static constexpr std::int32_t kEffLo[11] = {10, 10, 0, 20, 0, 30, 30, 30, 30, 1, 20};
        static constexpr std::int32_t kEffHi[11] = {1000, 1000, 100, 20000, INT32_MAX, 100,
                                                    100,  100,  100, 100,   20000};
        for (int k = 1; k <= 11; ++k)
            add("effectParams" + idx(k), &ch.effectParams[static_cast<size_t>(k - 1)],
                k == 5 ? INT32_MIN : kEffLo[k - 1], kEffHi[k - 1], none);
        // V 13..20 name the outputs, so only the analogue inputs' names have a frame.
        b.add(p + "name", &ch.name, &ch, base, 0, kNameBytes, analog ? Carrier{'V', c, 0} : none,
              FieldKind::Name);
    }
}

void addOutputs(Builder& b, const DeviceState& s) {
    for (int o = 1; o <= kOutputRecords; ++o) {
        const OutputChannel& out = s.out(o);
        const std::size_t base = kOutputBase + static_cast<std::size_t>(o - 1) * sizeof(OutputChannel);
        const std::string p = "output" + idx(o) + ".";
        b.record(RecordKind::Output, o);
        auto add = [&](const std::string& name, const void* f, int lo, int hi, Carrier car, Extra x = {}) {
            b.add(p + name, f, &out, base, lo, hi, car, FieldKind::Int32, x);
        };
        for (int k = 1; k <= kGeqBands; ++k)
            add("geq" + idx(k), &out.geq[static_cast<size_t>(k - 1)].gain, 0, 300, Carrier{'H', o, 0},
                {DisplayFormat::None, cg::kLinkEq});
        add("geqOn", &out.geqOn, 0, 1, Carrier{'H', o, 0}, {DisplayFormat::Switch, cg::kLinkEq});
        add("mute", &out.mute, 0, 1, Carrier{'A', o + 12, 0}, {DisplayFormat::Switch, cg::kLinkVolume});
        add("level", &out.level, 0, 70, Carrier{'A', o + 12, 0}, {DisplayFormat::Db60, cg::kLinkVolume});
        add("meter", &out.meter, 0, 255, Carrier{});
        add("outSwitchJ", &out.outSwitchJ, 0, 199, Carrier{'J', o, 0},
            {DisplayFormat::None, cg::kLinkDelay, true});
        add("lineLevel", &out.lineLevel, 0, 1, Carrier{'I', o, 0}, {DisplayFormat::Switch, cg::kLinkLine});
        add("outSwitchK", &out.outSwitchK, 0, 1, Carrier{'K', o, 0}, {DisplayFormat::Switch, cg::kLinkFbk});
        static constexpr std::int32_t kLimLo[6] = {0, 0, 1, 1, 0, 10};
        static constexpr std::int32_t kLimHi[6] = {1, 60, 250, 250, 200, 100};
        for (int k = 1; k <= 6; ++k)
            add("limiter" + idx(k), &out.limiter[static_cast<size_t>(k - 1)], kLimLo[k - 1], kLimHi[k - 1],
                Carrier{'D', o, 0}, {k == 1 ? DisplayFormat::Switch : DisplayFormat::None, cg::kLinkLimit});
        b.add(p + "name", &out.name, &out, base, 0, kNameBytes, Carrier{'V', o + 12, 0}, FieldKind::Name);
    }
}

void addDevice(Builder& b, const DeviceState& s) {
    b.record(RecordKind::Device, 0);
    const AutomixSettings& a = s.automix;
    const Carrier m{'M', 0, 0}, n{'N', 0, 0}, none{};
    auto am = [&](const char* name, const std::int32_t* f, int lo, int hi, Carrier c) {
        b.add(std::string("automix.") + name, f, &a, kAutomixOffset, lo, hi, c);
    };
    am("manualMode", &a.manualMode, 0, 1, m);
    am("maxOpenChannels", &a.maxOpenChannels, 1, 8, m);
    am("holdTime", &a.holdTime, 1, 100, m);
    am("closedChannelAttenuation", &a.closedChannelAttenuation, 0, 60, m);
    am("nomAttenuation", &a.nomAttenuation, 20, 30, m);
    am("lastHold", &a.lastHold, 0, 1, m);
    am("zeroCrossingRate", &a.zeroCrossingRate, 0, 100, n);
    am("energy", &a.energy, 1, 200, n);
    am("compareCount", &a.compareCount, 1, 100, n);
    am("thresholdCompensation", &a.thresholdCompensation, 0, 40, n);
    am("syncThresholds", &a.syncThresholds, 0, 1, none);
    for (int u = 1; u <= kUnits; ++u)
        for (int k = 1; k <= kUnitSlots; ++k)
            b.add("units" + idx(u) + idx(k), &s.units[static_cast<size_t>(u - 1)][static_cast<size_t>(k - 1)],
                  &s.units, kUnitsOffset, 0, 16, Carrier{'X', u, 0}, FieldKind::Byte);
    b.add("unitCount", &s.unitCount, &s.unitCount, kUnitCountOffset, 0, kUnits, none);
    b.add("deviceText", &s.deviceText, &s.deviceText, kDeviceTextOffset, 0, kNameBytes, none,
          FieldKind::Name);
    b.add("reportNumber", &s.reportNumber, &s.reportNumber, kReportNumberOffset, INT32_MIN, INT32_MAX, none);
    b.add("spanTime", &s.spanTime, &s.spanTime, kSpanTimeOffset, 0, 60000, none);
    for (int g = 1; g <= kMuteGroups; ++g)
        for (int k = 1; k <= kMuteGroupWords; ++k)
            b.add("muteGroups" + idx(g) + idx(k),
                  &s.muteGroups[static_cast<size_t>(g - 1)][static_cast<size_t>(k - 1)], &s.muteGroups,
                  kMuteGroupBase, 0, 1, none);
    for (int g = 1; g <= kControlGroups; ++g)
        for (int k = 1; k <= kControlGroupWords; ++k)
            b.add("controlGroups" + idx(g) + idx(k),
                  &s.controlGroups[static_cast<size_t>(g - 1)][static_cast<size_t>(k - 1)], &s.controlGroups,
                  kControlGroupBase, 0, k == cg::kMemberCount + 1 ? 26 : 1, none);
}

// ---- the readout's table ----

using Fmt = DisplayFormat;

std::string num(int n) {
    return std::to_string(n);
}

std::string inputPath(int record, const std::string& field) {
    return "input[" + num(record) + "]." + field;
}
std::string outputPath(int n, const std::string& field) {
    return "output[" + num(n) + "]." + field;
}

ReadoutKindInfo describeInput(int record, int kind) {
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

ReadoutKindInfo describeOutput(int n, int kind) {
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

ReadoutKindInfo describe(int readoutChannel, int kind) {
    if (readoutChannel < 0 || readoutChannel >= kReadoutChannels || kind <= 0) return {};
    if (readoutChannel < kReadoutFirstOutput) return describeInput(readoutChannel + 1, kind);
    return describeOutput(readoutChannel - kReadoutFirstOutput + 1, kind);
}

} // namespace

ReadoutKindInfo readoutKind(int readoutChannel, int kind) {
    return describe(readoutChannel, kind);
}

FieldRegistry::FieldRegistry() {
    static const DeviceState proto{};
    fields_.reserve(4096);
    Builder b(fields_, proto);
    addInputs(b, proto);
    addOutputs(b, proto);
    addDevice(b, proto);
    sortedIndex_.resize(fields_.size());
    for (std::size_t i = 0; i < fields_.size(); ++i)
        sortedIndex_[i] = i;
    std::sort(sortedIndex_.begin(), sortedIndex_.end(),
              [&](std::size_t x, std::size_t y) { return fields_[x].path < fields_[y].path; });
    std::size_t end = 0;
    for (const FieldInfo& f : fields_)
        end = std::max(end, f.stateOffset + 1);
    byOffset_.assign(end, -1);
    for (const FieldInfo& f : fields_)
        byOffset_[f.stateOffset] = static_cast<std::int32_t>(f.id);
    // The readout's table names the fields it shows and the unit it shows them in; the first
    // kind that shows a field is its readout reference.
    for (int ch = 0; ch < kReadoutChannels; ++ch) {
        for (int kind = 1; kind <= kReadoutLastKind; ++kind) {
            const ReadoutKindInfo k = describe(ch, kind);
            for (int slot = 0; slot < 2; ++slot) {
                const ReadoutSlotInfo& r = slot == 0 ? k.v1 : k.v2;
                if (r.path.empty()) continue;
                const FieldInfo* f = find(r.path);
                if (!f) continue;
                FieldInfo& w = fields_[f->id];
                w.format = r.format;
                if (w.readout.channel < 0) w.readout = ReadoutRef{ch, kind, slot};
            }
        }
    }
}

const FieldRegistry& FieldRegistry::instance() {
    static const FieldRegistry r;
    return r;
}

const FieldInfo* FieldRegistry::find(std::string_view path) const {
    auto it = std::lower_bound(sortedIndex_.begin(), sortedIndex_.end(), path,
                               [&](std::size_t i, std::string_view p) { return fields_[i].path < p; });
    if (it == sortedIndex_.end() || fields_[*it].path != path) return nullptr;
    return &fields_[*it];
}

std::optional<FieldId> FieldRegistry::idOf(std::string_view path) const {
    const FieldInfo* f = find(path);
    if (!f) return std::nullopt;
    return f->id;
}

std::optional<FieldId> FieldRegistry::idAtOffset(std::size_t offset) const {
    if (offset >= byOffset_.size() || byOffset_[offset] < 0) return std::nullopt;
    return static_cast<FieldId>(byOffset_[offset]);
}

std::optional<FieldId> FieldRegistry::idOf(const DeviceState& s, const void* member) const {
    // As addresses: a pointer outside `s` must not be compared with one inside it.
    const auto p = reinterpret_cast<std::uintptr_t>(member);
    const auto base = reinterpret_cast<std::uintptr_t>(&s);
    if (p < base || p >= base + sizeof(DeviceState)) return std::nullopt;
    return idAtOffset(static_cast<std::size_t>(p - base));
}

std::optional<FieldId> FieldRegistry::sibling(FieldId id, int record) const {
    if (!valid(id)) return std::nullopt;
    const FieldInfo& f = fields_[id];
    std::size_t size = 0;
    int count = 0;
    if (f.record == RecordKind::Input) {
        size = sizeof(InputChannel);
        count = kInputRecords;
    } else if (f.record == RecordKind::Output) {
        size = sizeof(OutputChannel);
        count = kOutputRecords;
    }
    if (record < 1 || record > count) return std::nullopt;
    const auto delta =
        static_cast<std::ptrdiff_t>(record - f.recordIndex) * static_cast<std::ptrdiff_t>(size);
    return idAtOffset(static_cast<std::size_t>(static_cast<std::ptrdiff_t>(f.stateOffset) + delta));
}

std::int32_t FieldRegistry::get(const DeviceState& s, const FieldInfo& f) {
    const char* p = reinterpret_cast<const char*>(&s) + f.stateOffset;
    if (f.kind == FieldKind::Byte) return static_cast<unsigned char>(*p);
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void FieldRegistry::set(DeviceState& s, const FieldInfo& f, std::int32_t v) {
    char* p = reinterpret_cast<char*>(&s) + f.stateOffset;
    if (f.kind == FieldKind::Byte) {
        *p = static_cast<char>(v);
        return;
    }
    std::memcpy(p, &v, sizeof v);
}

std::string_view FieldRegistry::getName(const DeviceState& s, const FieldInfo& f) {
    return nameView(*reinterpret_cast<const NameField*>(reinterpret_cast<const char*>(&s) + f.stateOffset));
}

void FieldRegistry::setNameBytes(DeviceState& s, const FieldInfo& f, std::string_view gbk) {
    setName(*reinterpret_cast<NameField*>(reinterpret_cast<char*>(&s) + f.stateOffset), gbk);
}

bool parseAssignment(std::string_view assignment, Assignment& out, std::string& error) {
    out = Assignment{};
    auto eq = assignment.find('=');
    if (eq == std::string_view::npos) {
        error = "expected PATH=VALUE, got '" + std::string(assignment) + "'";
        return false;
    }
    std::string_view path = assignment.substr(0, eq), value = assignment.substr(eq + 1);
    const FieldInfo* f = FieldRegistry::instance().find(path);
    if (!f) {
        error = "unknown field '" + std::string(path) + "'";
        return false;
    }
    if (f->kind == FieldKind::Name) {
        auto gbk = utf8ToGbk(value);
        if (!gbk) {
            error = "name for " + f->path + " cannot be written in GBK";
            return false;
        }
        if (gbk->size() > kNameBytes) {
            error =
                "name for " + f->path + " is " + std::to_string(gbk->size()) + " bytes in GBK (at most 16)";
            return false;
        }
        out.gbk = std::move(*gbk);
    } else {
        std::int64_t v = 0;
        const char* b = value.data();
        const char* e = b + value.size();
        auto r = std::from_chars(b, e, v);
        if (value.empty() || r.ec != std::errc{} || r.ptr != e) {
            error = "value for " + f->path + " is not an integer: '" + std::string(value) + "'";
            return false;
        }
        if (v < f->min || v > f->max) {
            error = "value " + std::string(value) + " for " + f->path + " is outside " +
                    std::to_string(f->min) + ".." + std::to_string(f->max);
            return false;
        }
        out.value = static_cast<std::int32_t>(v);
    }
    out.field = f;
    return true;
}

bool assignField(DeviceState& s, std::string_view assignment, std::string& error,
                 const FieldInfo** assigned) {
    Assignment a;
    if (!parseAssignment(assignment, a, error)) return false;
    if (a.field->kind == FieldKind::Name)
        FieldRegistry::setNameBytes(s, *a.field, a.gbk);
    else
        FieldRegistry::set(s, *a.field, a.value);
    if (assigned) *assigned = a.field;
    return true;
}

std::vector<int> carrierSelectors(const Carrier& c) {
    if (c.letter == 'M' || c.letter == 'N') return {};
    if (c.letter == 'G') return {c.selector, c.selector2};
    return {c.selector};
}

} // namespace quorvel
