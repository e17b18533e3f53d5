// Provisional generic form: clamp, store, carrying command while online. The control-group
// copies and the per-field rules arrive with the full edit operation.
#include "link/edit.h"

#include <algorithm>

#include "link/commands.h"

namespace quorvel {

EditOutcome applyEdit(DeviceState& s, EditSink& sink, FieldId field, std::int32_t raw,
                      const EditOptions& options) {
    EditOutcome out;
    const auto& fields = FieldRegistry::instance().fields();
    if (field >= fields.size()) return out;
    const FieldInfo& f = fields[field];
    if (f.kind == FieldKind::Name) return out;
    FieldRegistry::set(s, f, std::clamp(raw, f.min, f.max));
    out.applied = true;
    out.changed.add(field);
    if (options.queue && f.carrier.letter && s.link.linkOnline) {
        OutgoingFrame frame;
        std::string error;
        const std::vector<int> sel = carrierSelectors(f.carrier);
        if (buildCommand(s, f.carrier.letter, sel, Ipv4Octets{}, frame, error)) sink.queue(std::move(frame));
    }
    return out;
}

EditOutcome applyEdit(DeviceState& s, EditSink& sink, std::string_view path, std::int32_t raw,
                      const EditOptions& options) {
    const FieldInfo* f = FieldRegistry::instance().find(path);
    if (!f) return {};
    return applyEdit(s, sink, static_cast<FieldId>(f - FieldRegistry::instance().fields().data()), raw,
                     options);
}

EditOutcome applyNameEdit(DeviceState& s, EditSink& sink, FieldId field, std::string_view gbk) {
    EditOutcome out;
    const auto& fields = FieldRegistry::instance().fields();
    if (field >= fields.size() || fields[field].kind != FieldKind::Name) return out;
    const FieldInfo& f = fields[field];
    FieldRegistry::setNameBytes(s, f, gbk);
    out.applied = true;
    out.changed.add(field);
    if (f.carrier.letter == 'V' && s.link.linkOnline) {
        std::string text = buildV(s, f.carrier.selector);
        if (!text.empty()) sink.queue(OutgoingFrame{std::move(text), kCommandPause, true});
    }
    return out;
}

} // namespace quorvel
