#include "mixing/mixing_edit.h"

#include "mixing/automix_ops.h"

namespace quorvel {
namespace {

bool endsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

bool isThreshold(const FieldInfo& f) {
    return f.record == RecordKind::Input && endsWith(f.path, ".automixThreshold");
}

} // namespace

EditOutcome applyMixingEdit(DeviceState& s, EditSink& sink, FieldId field, std::int32_t raw,
                            const EditOptions& options) {
    const auto& reg = FieldRegistry::instance();
    if (reg.valid(field) && isThreshold(reg.field(field)) && options.queue)
        return setAutomixThreshold(s, sink, reg.field(field).recordIndex, raw);
    return applyEdit(s, sink, field, raw, options);
}

EditOutcome applyMixingAssignment(DeviceState& s, EditSink& sink, std::string_view assignment) {
    Assignment a;
    std::string error;
    if (!parseAssignment(assignment, a, error)) {
        EditOutcome refused;
        refused.refusal = error;
        return refused;
    }
    if (a.field->kind == FieldKind::Name) return applyNameEdit(s, sink, a.field->id, a.gbk);
    return applyMixingEdit(s, sink, a.field->id, a.value);
}

bool settableWithoutCarrier(const FieldInfo& field) {
    return field.path == "automix.syncThresholds";
}

} // namespace quorvel
