#include "processing/knob_defaults.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "link/device_state.h"
#include "link/edit_sink.h"
#include "link/field_registry.h"
#include "mixing/effect_ops.h"
#include "processing/dynamics_ops.h"
#include "processing/peq_ops.h"

namespace quorvel {
namespace {

// The part of a path after its record: "input[3].peq[2].bandGain" -> "peq[2].bandGain".
std::string_view member(std::string_view path) {
    const std::size_t dot = path.find("].");
    return dot == std::string_view::npos ? std::string_view{} : path.substr(dot + 2);
}

bool isKnob(const FieldInfo& f) {
    const std::string_view m = member(f.path);
    if (f.record == RecordKind::Output)
        return m == "level" || (m.starts_with("limiter[") && m != "limiter[1]"); // [1] is the switch
    if (f.record != RecordKind::Input) return false;
    static constexpr std::array<std::string_view, 12> kInput = {
        "level",       "pan",      "hpfFreq",   "lpfFreq",       "compThreshold", "compAttack",
        "compRelease", "compGain", "compRatio", "gateThreshold", "gateAttack",    "gateRelease"};
    if (std::find(kInput.begin(), kInput.end(), m) != kInput.end()) return true;
    if (m.starts_with("peq[") && !m.starts_with("peq[5]"))
        return m.ends_with(".bandFreq") || m.ends_with(".bandGain") || m.ends_with(".bandQ");
    return false;
}

std::vector<std::optional<std::int32_t>> buildTable() {
    DeviceState s;
    loadFactoryDefaults(s);
    s.link.linkOnline = false;
    DiscardSink none;
    for (int c = 1; c <= kInputRecords; ++c) {
        peqReset(s, none, c);
        resetCompressor(s, none, c);
        resetGate(s, none, c);
    }
    for (int o = 1; o <= kOutputRecords; ++o)
        resetLimiter(s, none, o);
    resetEffect(s, none, Effect::Delay);
    resetEffect(s, none, Effect::Reverb);

    const FieldRegistry& reg = FieldRegistry::instance();
    std::vector<std::optional<std::int32_t>> table(reg.fields().size());
    for (const FieldInfo& f : reg.fields())
        if (f.kind != FieldKind::Name && isKnob(f)) table[f.id] = FieldRegistry::get(s, f);
    // The effect faders: the parameters of each group, not its two mute flags.
    for (Effect e : {Effect::Delay, Effect::Reverb}) {
        std::vector<FieldId> fields = effectFields(e);
        if (fields.size() >= 2) fields.resize(fields.size() - 2);
        for (FieldId id : fields)
            table[id] = FieldRegistry::get(s, reg.field(id));
    }
    return table;
}

} // namespace

std::optional<std::int32_t> knobDefault(FieldId field) {
    static const std::vector<std::optional<std::int32_t>> table = buildTable();
    return field < table.size() ? table[field] : std::nullopt;
}

} // namespace quorvel
