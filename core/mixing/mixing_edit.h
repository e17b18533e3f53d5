// The mixing pages' way into the edit operation: the same as applyEdit, except for the fields
// whose rule reaches past themselves (a threshold under SYNC). quorvelctl set and the pages call
// this, so a rule holds whichever way the value comes in.
#pragma once

#include <string_view>

#include "link/edit.h"

namespace quorvel {

EditOutcome applyMixingEdit(DeviceState& s, EditSink& sink, FieldId field, std::int32_t raw,
                            const EditOptions& options = {});

// "PATH=VALUE" as applyAssignment takes it (out of range refused), applied by applyMixingEdit.
EditOutcome applyMixingAssignment(DeviceState& s, EditSink& sink, std::string_view assignment);

// A field no command carries that may still be set on its own: it changes how later edits go out.
bool settableWithoutCarrier(const FieldInfo& field);

} // namespace quorvel
