// The one way an edit reaches DeviceState and the device. Strips, pages, the typed value entry,
// quorvelctl set (and later undo, the remote API, OSC) all call applyEdit, so a rule is applied
// once whichever way the edit comes in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/edit_sink.h"
#include "link/field_registry.h"

namespace quorvel {

struct EditOptions {
    // The 48V page switches one channel only, whatever its control group says.
    bool linkCopies = true;
    // A fader that sends on release stores the moves of its drag without sending them.
    bool queue = true;
};

struct EditOutcome {
    bool applied = false; // false: refused, nothing stored, nothing queued
    std::string refusal;  // why, UTF-8, for the caller's message (the Dante conflict text, ...)
    ChangeSet changed;    // every field written: the edited one first, then the members' copies
};

// Clamps raw to the field's range, stores it, queues the frames that carry it only while the
// link is online (with their pauses), then applies the control-group copies and queues theirs.
EditOutcome applyEdit(DeviceState& s, EditSink& sink, FieldId field, std::int32_t raw,
                      const EditOptions& options = {});
EditOutcome applyEdit(DeviceState& s, EditSink& sink, std::string_view path, std::int32_t raw,
                      const EditOptions& options = {});
// Names: GBK bytes, cut at 16 without splitting a character; V goes out in pieces.
EditOutcome applyNameEdit(DeviceState& s, EditSink& sink, FieldId field, std::string_view gbk);

} // namespace quorvel
