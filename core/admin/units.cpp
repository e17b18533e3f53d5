#include "admin/units.h"

#include <cctype>
#include <cstdio>

#include "link/commands.h"
#include "link/field_registry.h"

namespace quorvel {
namespace {

std::string unitPath(int unit, int slot) {
    return "units[" + std::to_string(unit) + "][" + std::to_string(slot) + "]";
}

} // namespace

EditOutcome assignUnitSlot(DeviceState& s, EditSink& sink, int unit, int slot, int value) {
    if (unit < 1 || unit > kUnits || slot < 1 || slot > kUnitSlots || value < 0 || value >= kUnitSlotValues) {
        EditOutcome r;
        r.refusal = "unit 1..4, slot 1..5, value 0..16";
        return r;
    }
    return applyEdit(s, sink, unitPath(unit, slot), value);
}

bool callUnit(EditSink& sink, int unit) {
    if (unit < 1 || unit > kUnits) return false;
    sink.queue(OutgoingFrame{buildW(unit), kCommandPause, false});
    return true;
}

ChangeSet resetUnits(DeviceState& s, EditSink& sink) {
    ChangeSet changed;
    const auto& reg = FieldRegistry::instance();
    for (int u = 1; u <= kUnits; ++u)
        for (int k = 1; k <= kUnitSlots; ++k) {
            s.units[static_cast<std::size_t>(u - 1)][static_cast<std::size_t>(k - 1)] = 0;
            if (const FieldInfo* f = reg.find(unitPath(u, k))) changed.add(f->id);
        }
    for (int u = 1; u <= kUnits; ++u)
        queueIfOnline(s, sink, buildX(s, u), kCommandPause + kUnitResetPause);
    return changed;
}

} // namespace quorvel
