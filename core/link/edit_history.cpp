#include "link/edit_history.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "link/field_display.h"
#include "link/field_registry.h"

namespace quorvel {
namespace {

bool isName(const FieldInfo& f) {
    return f.kind == FieldKind::Name;
}

bool sameRecord(const HistoryStep& a, const HistoryStep& b) {
    const auto& reg = FieldRegistry::instance();
    if (a.entries.empty() || b.entries.empty()) return false;
    const FieldId x = a.entries.front().field, y = b.entries.front().field;
    if (!reg.valid(x) || !reg.valid(y)) return false;
    return reg.field(x).record == reg.field(y).record && reg.field(x).recordIndex == reg.field(y).recordIndex;
}

bool unchanged(const HistoryEntry& e, const FieldInfo& f) {
    return isName(f) ? e.beforeName == e.afterName : e.before == e.after;
}

std::int32_t valueOf(const HistoryEntry& e, bool forward) {
    return forward ? e.after : e.before;
}

const std::string& nameOf(const HistoryEntry& e, bool forward) {
    return forward ? e.afterName : e.beforeName;
}

void store(DeviceState& s, const FieldInfo& f, const HistoryEntry& e, bool forward) {
    if (isName(f))
        FieldRegistry::setNameBytes(s, f, nameOf(e, forward));
    else
        FieldRegistry::set(s, f, valueOf(e, forward));
}

bool holds(const DeviceState& s, const FieldInfo& f, const HistoryEntry& e, bool forward) {
    return isName(f) ? FieldRegistry::getName(s, f) == nameOf(e, forward)
                     : FieldRegistry::get(s, f) == valueOf(e, forward);
}

} // namespace

void queueCarriersOnce(const DeviceState& s, EditSink& sink, const std::vector<FieldId>& fields) {
    if (!s.link.linkOnline || fields.empty()) return;
    const auto& reg = FieldRegistry::instance();
    // The device drops frames of several records that arrive back to back: such a step is paced
    // like a group copy.
    bool several = false;
    if (reg.valid(fields.front())) {
        const FieldInfo& first = reg.field(fields.front());
        several = std::any_of(fields.begin(), fields.end(), [&](FieldId id) {
            return reg.valid(id) &&
                   (reg.field(id).record != first.record || reg.field(id).recordIndex != first.recordIndex);
        });
    }
    std::unordered_set<std::string> sent;
    for (FieldId id : fields) {
        if (!reg.valid(id)) continue;
        const FieldInfo& f = reg.field(id);
        if (!f.carrier.letter) continue;
        OutgoingFrame frame = carrierFrame(s, f);
        OutgoingFrame then = followFrame(s, f);
        const bool newFrame = !frame.text.empty() && sent.insert(frame.text).second;
        const bool newThen = !then.text.empty() && sent.insert(then.text).second;
        if (several) {
            OutgoingFrame& last = newThen ? then : frame;
            last.pauseAfter = std::max(last.pauseAfter, kMemberPause);
        }
        if (newFrame) sink.queue(std::move(frame));
        if (newThen) sink.queue(std::move(then));
    }
}

EditHistory::EditHistory(const DeviceState& s, std::size_t limit)
    : state_(s), limit_(std::max<std::size_t>(limit, 1)) {
    const auto& fields = FieldRegistry::instance().fields();
    shadow_.resize(fields.size());
    shadowNames_.resize(fields.size());
    for (const FieldInfo& f : fields) {
        if (isName(f))
            shadowNames_[f.id] = std::string(FieldRegistry::getName(s, f));
        else
            shadow_[f.id] = FieldRegistry::get(s, f);
    }
}

void EditHistory::diffInto(FieldId id, std::vector<HistoryEntry>& out) {
    const auto& reg = FieldRegistry::instance();
    if (!reg.valid(id)) return;
    const FieldInfo& f = reg.field(id);
    HistoryEntry e;
    e.field = id;
    if (isName(f)) {
        e.beforeName = shadowNames_[id];
        e.afterName = std::string(FieldRegistry::getName(state_, f));
        if (e.beforeName == e.afterName) return;
        shadowNames_[id] = e.afterName;
    } else {
        e.before = shadow_[id];
        e.after = FieldRegistry::get(state_, f);
        if (e.before == e.after) return;
        shadow_[id] = e.after;
    }
    out.push_back(std::move(e));
}

void EditHistory::changed(const ChangeSet& changes) {
    settle();
    Pending p;
    p.all = changes.all();
    if (p.all) {
        const FieldId n = static_cast<FieldId>(shadow_.size());
        for (FieldId id = 0; id < n; ++id)
            diffInto(id, p.entries);
    } else {
        for (FieldId id : changes.fields())
            diffInto(id, p.entries);
    }
    pending_ = std::move(p);
}

void EditHistory::aimed(FieldId field) {
    if (pending_) pending_->aimed = field;
}

void EditHistory::replayed() {
    pending_.reset();
}

bool EditHistory::settle() {
    if (!pending_) return false;
    const bool all = pending_->all;
    pending_.reset();
    if (!all) return false;
    const bool forgot = !undo_.empty() || !redo_.empty();
    clear();
    return forgot;
}

void EditHistory::userChanged(const UserOperation& operation) {
    if (!pending_) return;
    Pending p = std::move(*pending_);
    pending_.reset();
    if (p.entries.empty()) return;
    HistoryStep step;
    // An edit's aimed field is written first; anything else is an operation.
    if (p.aimed && p.entries.front().field == *p.aimed) step.aimed = p.aimed;
    step.wholeState = p.all;
    step.operation = operation;
    step.entries = std::move(p.entries);

    // A gesture moves one channel's or output's controls; a change elsewhere is a step of its own,
    // so a gesture that was never closed cannot swallow the rest of the session.
    if (gestureDepth_ > 0 && gestureStepOpen_ && !undo_.empty() && !sameRecord(undo_.back(), step))
        finishGestureStep();
    if (gestureDepth_ > 0 && gestureStepOpen_ && !undo_.empty()) {
        HistoryStep& open = undo_.back();
        for (HistoryEntry& e : step.entries) {
            auto it = std::find_if(open.entries.begin(), open.entries.end(),
                                   [&](const HistoryEntry& o) { return o.field == e.field; });
            if (it == open.entries.end()) {
                open.entries.push_back(std::move(e));
            } else {
                it->after = e.after;
                it->afterName = std::move(e.afterName);
            }
        }
        if (open.aimed != step.aimed) open.aimed.reset();
        open.wholeState = open.wholeState || step.wholeState;
        if (step.operation.resend || !step.operation.en.empty()) open.operation = std::move(step.operation);
        return;
    }
    push(std::move(step));
    if (gestureDepth_ > 0) gestureStepOpen_ = true;
}

void EditHistory::push(HistoryStep step) {
    redo_.clear();
    undo_.push_back(std::move(step));
    while (undo_.size() > limit_)
        undo_.pop_front();
}

void EditHistory::beginGesture() {
    if (gestureDepth_++ == 0) gestureStepOpen_ = false;
}

void EditHistory::endGesture() {
    if (gestureDepth_ == 0) return;
    if (--gestureDepth_ == 0) finishGestureStep();
}

void EditHistory::finishGestureStep() {
    if (!gestureStepOpen_) return;
    gestureStepOpen_ = false;
    if (undo_.empty()) return;
    // A drag that came back to where it started leaves nothing to undo.
    HistoryStep& step = undo_.back();
    const auto& reg = FieldRegistry::instance();
    std::erase_if(step.entries, [&](const HistoryEntry& e) {
        return !reg.valid(e.field) || unchanged(e, reg.field(e.field));
    });
    if (step.entries.empty()) {
        undo_.pop_back();
    } else if (step.aimed && step.entries.front().field != *step.aimed) {
        step.aimed.reset();
    }
}

void EditHistory::clear() {
    undo_.clear();
    redo_.clear();
    gestureStepOpen_ = false;
}

HistoryResult EditHistory::undo(HistoryTarget& target) {
    // Undo in the middle of a drag takes back what it did so far; the rest is a step of its own.
    finishGestureStep();
    settle();
    if (undo_.empty()) return {false, "Nothing to undo"};
    HistoryResult r = replay(target, undo_.back(), false);
    if (!r.done) return r;
    redo_.push_back(std::move(undo_.back()));
    undo_.pop_back();
    return r;
}

HistoryResult EditHistory::redo(HistoryTarget& target) {
    finishGestureStep();
    settle();
    if (redo_.empty()) return {false, "Nothing to redo"};
    HistoryResult r = replay(target, redo_.back(), true);
    if (!r.done) return r;
    undo_.push_back(std::move(redo_.back()));
    redo_.pop_back();
    return r;
}

HistoryResult EditHistory::replay(HistoryTarget& target, const HistoryStep& step, bool forward) {
    const auto& reg = FieldRegistry::instance();
    if (step.entries.empty() || !std::all_of(step.entries.begin(), step.entries.end(),
                                             [&](const HistoryEntry& e) { return reg.valid(e.field); }))
        return {false, "This step can no longer be undone"};
    DeviceState& s = target.state();

    if (step.aimed) {
        const HistoryEntry& lead = step.entries.front();
        const FieldInfo& f = reg.field(lead.field);
        EditOutcome out;
        if (isName(f)) {
            out = target.editName(lead.field, nameOf(lead, forward));
        } else {
            // The same edit as the original: the group copies go along only if they did then.
            EditOptions o;
            o.linkCopies = step.entries.size() > 1;
            out = target.edit(lead.field, valueOf(lead, forward), o);
        }
        if (!out.applied) return {false, out.refusal.empty() ? "Refused" : out.refusal};
        // A member that held a value of its own before the group copied over it gets it back.
        EditOptions single;
        single.linkCopies = false;
        for (std::size_t i = 1; i < step.entries.size(); ++i) {
            const HistoryEntry& e = step.entries[i];
            const FieldInfo& mf = reg.field(e.field);
            if (holds(s, mf, e, forward)) continue;
            if (isName(mf))
                target.editName(e.field, nameOf(e, forward));
            else
                target.edit(e.field, valueOf(e, forward), single);
        }
        return {true, {}};
    }

    ChangeSet changes;
    std::vector<FieldId> fields;
    fields.reserve(step.entries.size());
    for (const HistoryEntry& e : step.entries) {
        store(s, reg.field(e.field), e, forward);
        changes.add(e.field);
        fields.push_back(e.field);
    }
    if (step.operation.resend)
        step.operation.resend(s, target.sink());
    else
        queueCarriersOnce(s, target.sink(), fields);
    target.announce(changes);
    return {true, {}};
}

namespace {

// The strip by its place, as short as the menu wants it and whatever the user named it (strips
// 13..16 have no name at all): "CH3", "M1", "D2". The effect returns go by their own names.
std::string channelTag(int readoutChannel, bool zh) {
    constexpr int kStrips = kInputRecords - 2;
    if (readoutChannel >= 0 && readoutChannel < kStrips)
        return (zh ? "\xE9\x80\x9A\xE9\x81\x93" : "CH") + std::to_string(readoutChannel + 1); // 通道
    const int out = readoutChannel - kReadoutFirstOutput + 1;
    if (out >= 1 && out <= kOutputRecords)
        return out <= 4 ? "M" + std::to_string(out) : "D" + std::to_string(out - 4);
    return {};
}

// A field the readout does not show, by its strip and its own name ("CH2 NAME"), not the
// table's path.
std::string plainLabel(std::string_view path, bool zh) {
    std::string tag;
    for (const auto& [prefix, first] : {std::pair<std::string_view, int>{"input[", 0},
                                        std::pair<std::string_view, int>{"output[", kReadoutFirstOutput}}) {
        const std::size_t close = path.find("].");
        if (!path.starts_with(prefix) || close == std::string_view::npos) continue;
        int n = 0;
        for (char c : path.substr(prefix.size(), close - prefix.size()))
            n = c >= '0' && c <= '9' ? n * 10 + (c - '0') : -1000;
        tag = channelTag(first + n - 1, zh);
        path.remove_prefix(close + 2);
        break;
    }
    std::string leaf(path);
    for (char& c : leaf)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return tag.empty() ? leaf : tag + " " + leaf;
}

} // namespace

std::string EditHistory::stepName(const HistoryStep& step, int languageFlag) const {
    const bool zh = languageFlag == 2;
    if (!step.operation.en.empty())
        return zh && !step.operation.zh.empty() ? step.operation.zh : step.operation.en;
    if (step.wholeState) return zh ? "场景调用" : "SCENE RECALL";
    if (step.entries.empty()) return {};
    const FieldId id = step.aimed ? *step.aimed : step.entries.front().field;
    if (const std::optional<ReadoutRef> r = readoutFor(id)) {
        const ReadoutText t = formatReadout(state_, r->channel, r->kind, languageFlag);
        std::string name = channelTag(r->channel, zh);
        if (name.empty()) name = t.channelName;
        if (!t.paramName.empty()) name += (name.empty() ? "" : " ") + t.paramName;
        if (!name.empty()) return name;
    }
    const auto& reg = FieldRegistry::instance();
    return reg.valid(id) ? plainLabel(reg.field(id).path, zh) : std::string{};
}

} // namespace quorvel
