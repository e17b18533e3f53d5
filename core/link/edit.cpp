#include "link/edit.h"

#include <algorithm>
#include <cstddef>
#include <span>

#include "link/commands.h"
#include "link/field_display.h"

namespace quorvel {
namespace {

EditOutcome refused(std::string why) {
    EditOutcome r;
    r.refusal = std::move(why);
    return r;
}

int memberElement(RecordKind kind, int record) {
    return kind == RecordKind::Input ? record - 1 : cg::kFirstOutput + record - 1;
}

int recordCount(RecordKind kind) {
    return kind == RecordKind::Input ? kInputRecords : kind == RecordKind::Output ? kOutputRecords : 0;
}

std::int32_t cgElement(const DeviceState& s, int group, int element) {
    return s.controlGroups[static_cast<std::size_t>(group)][static_cast<std::size_t>(element)];
}

void queueCarrier(const DeviceState& s, EditSink& sink, const FieldInfo& f, bool member) {
    if (!s.link.linkOnline || !f.carrier.letter) return;
    OutgoingFrame frame = carrierFrame(s, f);
    if (frame.text.empty()) return;
    OutgoingFrame then = followFrame(s, f);
    // A member's pause belongs after the last frame it sends.
    OutgoingFrame& last = then.text.empty() ? frame : then;
    if (member) last.pauseAfter = std::max(last.pauseAfter, kMemberPause);
    sink.queue(std::move(frame));
    if (!then.text.empty()) sink.queue(std::move(then));
}

bool isDanteSource(const FieldInfo& f) {
    static const std::size_t offset = [] {
        static const DeviceState proto{};
        return static_cast<std::size_t>(reinterpret_cast<const char*>(&proto.in(1).danteSource) -
                                        reinterpret_cast<const char*>(&proto.in(1)));
    }();
    return f.record == RecordKind::Input &&
           f.stateOffset == static_cast<std::size_t>(f.recordIndex - 1) * sizeof(InputChannel) + offset;
}

bool sourceTaken(const DeviceState& s, int channel, std::int32_t source) {
    if (source <= 0) return false;
    for (int c = 1; c <= kAnalogInputs; ++c)
        if (c != channel && s.in(c).danteSource == source) return true;
    return false;
}

// A conference unit slot's value (a channel or an M target) may be assigned once in the whole
// table; NULL any number of times.
bool isUnitSlot(const FieldInfo& f) {
    static const DeviceState proto{};
    const auto* base = reinterpret_cast<const char*>(&proto);
    const auto begin = static_cast<std::size_t>(reinterpret_cast<const char*>(&proto.units) - base);
    return f.kind == FieldKind::Byte && f.stateOffset >= begin && f.stateOffset < begin + sizeof proto.units;
}

bool unitValueTaken(const DeviceState& s, const FieldInfo& f, std::int32_t v) {
    if (v == 0) return false;
    const auto* base = reinterpret_cast<const char*>(&s);
    for (const auto& unit : s.units)
        for (const std::uint8_t& cell : unit)
            if (cell == v &&
                static_cast<std::size_t>(reinterpret_cast<const char*>(&cell) - base) != f.stateOffset)
                return true;
    return false;
}

} // namespace

OutgoingFrame carrierFrame(const DeviceState& s, const FieldInfo& field) {
    OutgoingFrame frame;
    const Carrier& c = field.carrier;
    if (!c.letter) return frame;
    // A fader step: the registry only names channels A carries, so no rule lookup is needed.
    if (c.letter == 'A') {
        frame.text = buildA(s, c.selector);
        return frame;
    }
    // The selectors as carrierSelectors gives them, without a heap list on every fader step.
    const int sel[2] = {c.selector, c.selector2};
    const bool bare = c.letter == 'M' || c.letter == 'N' || c.letter == 'y' || c.letter == 'v';
    const std::size_t n = bare ? 0 : c.letter == 'G' ? 2 : 1;
    std::string error;
    if (!buildCommand(s, c.letter, std::span<const int>(sel, n), {}, frame, error)) frame = OutgoingFrame{};
    return frame;
}

OutgoingFrame followFrame(const DeviceState& s, const FieldInfo& field) {
    OutgoingFrame frame;
    switch (field.carrier.follow) {
    case 'a':
        frame.text = buildSends(s, field.carrier.followSelector);
        break;
    case 'y':
        frame.text = buildDelay(s);
        break;
    case 'v':
        frame.text = buildReverb(s);
        break;
    default:
        break;
    }
    return frame;
}

void queueFieldFrames(const DeviceState& s, EditSink& sink, FieldId field) {
    const auto& reg = FieldRegistry::instance();
    if (reg.valid(field)) queueCarrier(s, sink, reg.field(field), false);
}

bool linkCopiesHonoured(int flagElement) {
    switch (flagElement) {
    case cg::kLinkVolume:
    case cg::kLinkGain:
    case cg::kLinkPriority:
    case cg::kLinkPhantom:
    case cg::kLinkLine:
    case cg::kLinkFbk:
    case cg::kLinkDelay:
    case cg::kLinkEq:
    case cg::kLinkComp:
    case cg::kLinkLimit:
        return true;
    default:
        return false;
    }
}

int controlGroupOf(const DeviceState& s, RecordKind kind, int record) {
    if (record < 1 || record > recordCount(kind)) return -1;
    for (int g = 0; g < kControlGroups; ++g)
        if (cgElement(s, g, memberElement(kind, record))) return g;
    return -1;
}

std::vector<int> linkedMembers(const DeviceState& s, RecordKind kind, int record, int flagElement) {
    std::vector<int> members;
    const int g = controlGroupOf(s, kind, record);
    if (g < 0 || flagElement < 0 || flagElement >= kControlGroupWords || !cgElement(s, g, flagElement))
        return members;
    for (int m = 1; m <= recordCount(kind); ++m)
        if (m != record && cgElement(s, g, memberElement(kind, m))) members.push_back(m);
    return members;
}

ChangeSet applyLinkCopies(DeviceState& s, EditSink& sink, FieldId field, const EditOptions& options) {
    ChangeSet changed;
    const auto& reg = FieldRegistry::instance();
    if (!reg.valid(field)) return changed;
    const FieldInfo& f = reg.field(field);
    if (f.kind == FieldKind::Name || !linkCopiesHonoured(f.linkFlag)) return changed;
    const std::int32_t v = FieldRegistry::get(s, f);
    for (int m : linkedMembers(s, f.record, f.recordIndex, f.linkFlag)) {
        const std::optional<FieldId> mid = reg.sibling(field, m);
        if (!mid) continue;
        const FieldInfo& mf = reg.field(*mid);
        // Only channels 1..8 have the high- and low-pass filters; the others keep their own.
        if (f.linkFlag == cg::kLinkEq && f.record == RecordKind::Input && m > 8 &&
            (mf.carrier.letter == 'E' || mf.carrier.letter == 'F'))
            continue;
        // A line input has no microphone gain steps: it keeps its own rather than take one it
        // cannot run with.
        if (v < mf.min || v > mf.max) continue;
        FieldRegistry::set(s, mf, v);
        changed.add(*mid);
        if (options.queue) queueCarrier(s, sink, mf, true);
    }
    return changed;
}

EditOutcome applyEdit(DeviceState& s, EditSink& sink, FieldId field, std::int32_t raw,
                      const EditOptions& options) {
    const auto& reg = FieldRegistry::instance();
    if (!reg.valid(field)) return refused("no such field");
    const FieldInfo& f = reg.field(field);
    if (f.kind == FieldKind::Name) return refused(f.path + " is a name");
    if (f.choice && (raw < f.min || raw > f.max))
        return refused(std::to_string(raw) + " is not an item of " + f.path);
    const std::int32_t v = std::clamp(raw, f.min, f.max);
    if (isDanteSource(f) && sourceTaken(s, f.recordIndex, v)) return refused(kDanteConflictMessage);
    if (isUnitSlot(f) && unitValueTaken(s, f, v)) return refused(kUnitTakenMessage);

    FieldRegistry::set(s, f, v);
    // The frame first: a fader step's way to the wire is the path a drag feels.
    if (options.queue) queueCarrier(s, sink, f, false);
    EditOutcome out;
    out.applied = true;
    out.changed.add(field);
    if (options.linkCopies) out.changed.merge(applyLinkCopies(s, sink, field, options));
    return out;
}

EditOutcome applyEdit(DeviceState& s, EditSink& sink, std::string_view path, std::int32_t raw,
                      const EditOptions& options) {
    const std::optional<FieldId> id = FieldRegistry::instance().idOf(path);
    if (!id) return refused("unknown field '" + std::string(path) + "'");
    return applyEdit(s, sink, *id, raw, options);
}

EditOutcome applyNameEdit(DeviceState& s, EditSink& sink, FieldId field, std::string_view gbk) {
    const auto& reg = FieldRegistry::instance();
    if (!reg.valid(field) || reg.field(field).kind != FieldKind::Name) return refused("not a name field");
    const FieldInfo& f = reg.field(field);
    FieldRegistry::setNameBytes(s, f, gbk);
    EditOutcome out;
    out.applied = true;
    out.changed.add(field);
    queueCarrier(s, sink, f, false);
    return out;
}

EditOutcome applyAssignment(DeviceState& s, EditSink& sink, std::string_view assignment) {
    Assignment a;
    std::string error;
    if (!parseAssignment(assignment, a, error)) return refused(error);
    if (a.field->kind == FieldKind::Name) return applyNameEdit(s, sink, a.field->id, a.gbk);
    return applyEdit(s, sink, a.field->id, a.value);
}

EditOutcome applyTypedValue(DeviceState& s, EditSink& sink, int readoutChannel, int kind, int fieldIndex,
                            std::string_view text) {
    const std::optional<FieldId> field = fieldForReadout(readoutChannel, kind, fieldIndex);
    if (!field) return refused("the readout shows no value there");
    const std::optional<std::int32_t> raw = parseDisplayValue(*field, text);
    if (!raw) return refused("'" + std::string(text) + "' is not a value here");
    return applyEdit(s, sink, *field, *raw);
}

} // namespace quorvel
