// The one way an edit reaches DeviceState and the device. Strips, pages, the typed value entry,
// quorvelctl set (and later undo, the remote API, OSC) all call applyEdit, so a rule is applied
// once whichever way the edit comes in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
// Refused instead, with nothing changed: an item outside its list (FieldInfo::choice: gain step,
// Dante source, delay), a Dante source another of channels 1..12 already uses, and a conference unit
// slot value another slot already holds.
EditOutcome applyEdit(DeviceState& s, EditSink& sink, FieldId field, std::int32_t raw,
                      const EditOptions& options = {});
EditOutcome applyEdit(DeviceState& s, EditSink& sink, std::string_view path, std::int32_t raw,
                      const EditOptions& options = {});
// Names: GBK bytes, cut at 16 without splitting a character; V goes out in pieces.
EditOutcome applyNameEdit(DeviceState& s, EditSink& sink, FieldId field, std::string_view gbk);

// ---- beside the contract ----

// A Dante input feeds one channel at most: choosing one that another of channels 1..12 already
// uses is refused with this text, and nothing changes.
inline constexpr const char* kDanteConflictMessage = "已经设了Dante输入源";
// A conference unit slot's channel or M target is assigned once in the whole 4 x 5 table:
// assigning one that another slot holds is refused with this text, and nothing changes.
inline constexpr const char* kUnitTakenMessage = "Already select.";

// Text typed into value slot 0 or 1 of the readout showing (readoutChannel, kind): read in the
// unit shown, clamped, then applied like any edit (so a linked channel's members follow).
EditOutcome applyTypedValue(DeviceState& s, EditSink& sink, int readoutChannel, int kind, int fieldIndex,
                            std::string_view text);

// "PATH=VALUE" as quorvelctl set takes it: an integer outside the field's range is refused (the
// refusal says why) rather than clamped, a name is UTF-8; then applied like any edit.
EditOutcome applyAssignment(DeviceState& s, EditSink& sink, std::string_view assignment);

// Copies the field's present value to the members its control group links it to, queuing each
// member's frame followed by kMemberPause while online. What applyEdit does after storing; returns
// the members' fields it wrote (a member whose range lacks the value keeps its own).
ChangeSet applyLinkCopies(DeviceState& s, EditSink& sink, FieldId field, const EditOptions& options = {});

// The link flags applyEdit copies along. SOURCE is recorded on its fields for the page that will
// copy it, but no edit copies it yet.
bool linkCopiesHonoured(int flagElement);

// The control group (0..3) holding input record / output `record`; the first one when a careless
// edit put it in several, -1 when none.
int controlGroupOf(const DeviceState& s, RecordKind kind, int record);
// The group's other members of the same kind, in list order; empty unless `flagElement` is on.
std::vector<int> linkedMembers(const DeviceState& s, RecordKind kind, int record, int flagElement);

// The frame that carries a field as it now stands in `s`; an empty text when no command does.
OutgoingFrame carrierFrame(const DeviceState& s, const FieldInfo& field);
// The frame sent after it (a, y, v for the sends and effects); an empty text when none is.
OutgoingFrame followFrame(const DeviceState& s, const FieldInfo& field);
// Queues the field's frames as they now stand, while online, without storing anything: a
// muted AUX strip's fader sends what the device already holds.
void queueFieldFrames(const DeviceState& s, EditSink& sink, FieldId field);

} // namespace quorvel
