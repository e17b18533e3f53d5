#include "processing/peq_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "link/commands.h"
#include "link/edit.h"
#include "link/field_registry.h"
#include "processing/peq_text.h"

namespace quorvel {
namespace {

using std::chrono::milliseconds;

FieldId inField(int channel, const std::string& name) {
    const auto id = FieldRegistry::instance().idOf("input[" + std::to_string(channel) + "]." + name);
    return id ? *id : 0;
}

std::string bandPath(int band, const char* field) {
    return "peq[" + std::to_string(band) + "]." + field;
}

std::vector<int> eqMembers(const DeviceState& s, int channel) {
    return linkedMembers(s, RecordKind::Input, channel, cg::kLinkEq);
}

// The frames of a channel's block in the order asked for, each followed by `pause`.
void queueBlock(const DeviceState& s, EditSink& sink, int channel, bool filtersFirst, milliseconds pause) {
    auto filters = [&] {
        if (!peqHasFilters(channel)) return;
        queueIfOnline(s, sink, buildE(s, channel), pause);
        queueIfOnline(s, sink, buildF(s, channel), pause);
    };
    if (filtersFirst) filters();
    for (int b = 1; b <= kPeqBands; ++b)
        queueIfOnline(s, sink, buildG(s, channel, b), pause);
    if (!filtersFirst) filters();
}

// The frame that carries handle h of a channel.
std::string handleFrame(const DeviceState& s, int channel, int handle) {
    if (handle == kHpfHandle) return buildF(s, channel);
    if (handle == kLpfHandle) return buildE(s, channel);
    return buildG(s, channel, handle + 1);
}

void queueHandle(const DeviceState& s, EditSink& sink, int channel, int handle) {
    queueIfOnline(s, sink, handleFrame(s, channel, handle));
    for (int m : eqMembers(s, channel)) {
        if (handle >= kHpfHandle && !peqHasFilters(m)) continue;
        queueIfOnline(s, sink, handleFrame(s, m, handle), kMemberPause);
    }
}

// Stores a value and its copies on the linked channels without sending.
void store(DeviceState& s, FieldId field, std::int32_t v, ChangeSet& changed) {
    const auto& reg = FieldRegistry::instance();
    const FieldInfo& f = reg.field(field);
    FieldRegistry::set(s, f, std::clamp(v, f.min, f.max));
    changed.add(field);
    DiscardSink none;
    EditOptions quiet;
    quiet.queue = false;
    changed.merge(applyLinkCopies(s, none, field, quiet));
}

constexpr int kPendingChannelShift = 8;

} // namespace

std::int32_t frequencyOfKnob(int position) {
    const int p = std::clamp(position, kFreqKnobMin, kFreqKnobMax);
    return static_cast<std::int32_t>(std::lround(std::pow(10.0, (p + 100) / 100.0)));
}

int knobOfFrequency(std::int32_t hz) {
    if (hz <= 0) return kFreqKnobMin;
    const long p = std::lround(100.0 * std::log10(static_cast<double>(hz)) - 100.0);
    return static_cast<int>(std::clamp<long>(p, kFreqKnobMin, kFreqKnobMax));
}

std::string slopeLabel(int index) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "-%ddB/Oct", 6 * (std::clamp(index, 0, kSlopeItems - 1) + 2));
    return buf;
}

bool peqHasFilters(int channel) {
    return channel >= 1 && channel <= kPeqFilterChannels;
}

bool operator==(const PeqBlock& a, const PeqBlock& b) {
    for (std::size_t i = 0; i < a.bands.size(); ++i) {
        const PeqBand &x = a.bands[i], &y = b.bands[i];
        if (x.bandFreq != y.bandFreq || x.bandGain != y.bandGain || x.bandQ != y.bandQ ||
            x.bandType != y.bandType)
            return false;
    }
    return a.hpfFreq == b.hpfFreq && a.hpfType == b.hpfType && a.hpfSlope == b.hpfSlope &&
           a.hpfOn == b.hpfOn && a.lpfFreq == b.lpfFreq && a.lpfType == b.lpfType &&
           a.lpfSlope == b.lpfSlope && a.lpfOn == b.lpfOn;
}

PeqBlock peqBlockOf(const InputChannel& ch) {
    PeqBlock b;
    std::copy_n(ch.peq.begin(), kPeqBands, b.bands.begin());
    b.hpfFreq = ch.hpfFreq;
    b.hpfType = ch.hpfType;
    b.hpfSlope = ch.hpfSlope;
    b.hpfOn = ch.hpfOn;
    b.lpfFreq = ch.lpfFreq;
    b.lpfType = ch.lpfType;
    b.lpfSlope = ch.lpfSlope;
    b.lpfOn = ch.lpfOn;
    return b;
}

void setPeqBlock(InputChannel& ch, const PeqBlock& b) {
    std::copy_n(b.bands.begin(), kPeqBands, ch.peq.begin());
    ch.hpfFreq = b.hpfFreq;
    ch.hpfType = b.hpfType;
    ch.hpfSlope = b.hpfSlope;
    ch.hpfOn = b.hpfOn;
    ch.lpfFreq = b.lpfFreq;
    ch.lpfType = b.lpfType;
    ch.lpfSlope = b.lpfSlope;
    ch.lpfOn = b.lpfOn;
}

ChangeSet peqBlockFields(int channel) {
    ChangeSet c;
    for (int b = 1; b <= kPeqBands; ++b)
        for (const char* f : {"bandFreq", "bandGain", "bandQ", "bandType"})
            c.add(inField(channel, bandPath(b, f)));
    for (const char* f :
         {"hpfFreq", "hpfType", "hpfSlope", "hpfOn", "lpfFreq", "lpfType", "lpfSlope", "lpfOn"})
        c.add(inField(channel, f));
    return c;
}

ChangeSet sendPeqBlock(DeviceState& s, EditSink& sink, int channel, bool filtersFirst) {
    ChangeSet changed = peqBlockFields(channel);
    queueBlock(s, sink, channel, filtersFirst, kPeqBlockPause);
    const PeqBlock block = peqBlockOf(s.in(channel));
    for (int m : eqMembers(s, channel)) {
        InputChannel& mc = s.in(m);
        PeqBlock copy = block;
        // A channel without filters keeps its own; there is nothing of them to show or send.
        if (!peqHasFilters(m)) {
            const PeqBlock own = peqBlockOf(mc);
            copy.hpfFreq = own.hpfFreq, copy.hpfType = own.hpfType, copy.hpfSlope = own.hpfSlope;
            copy.hpfOn = own.hpfOn, copy.lpfFreq = own.lpfFreq, copy.lpfType = own.lpfType;
            copy.lpfSlope = own.lpfSlope, copy.lpfOn = own.lpfOn;
        }
        setPeqBlock(mc, copy);
        changed.merge(peqBlockFields(m));
        queueBlock(s, sink, m, false, kPeqMemberBlockPause);
    }
    return changed;
}

ChangeSet peqReset(DeviceState& s, EditSink& sink, int channel) {
    if (channel < 1 || channel > kInputRecords) return {};
    InputChannel& ch = s.in(channel);
    for (int b = 0; b < kPeqBands; ++b) {
        PeqBand& band = ch.peq[static_cast<std::size_t>(b)];
        band.bandFreq = kPeqResetFreq[static_cast<std::size_t>(b)];
        band.bandGain = kPeqResetGain;
        band.bandQ = kPeqResetQ;
        band.bandType = 0;
    }
    ch.hpfFreq = kHpfResetFreq;
    ch.hpfSlope = kFilterResetSlope;
    ch.hpfOn = 0;
    ch.lpfFreq = kLpfResetFreq;
    ch.lpfSlope = kFilterResetSlope;
    ch.lpfOn = 0;
    return sendPeqBlock(s, sink, channel, false);
}

bool peqRecall(DeviceState& s, EditSink& sink, int channel, std::string_view text, ChangeSet& changed,
               std::string& error) {
    if (channel < 1 || channel > kInputRecords) {
        error = "no such channel";
        return false;
    }
    if (!readPeqDataText(text, s.in(channel), error)) return false;
    changed.merge(peqRecalled(s, sink, channel));
    return true;
}

ChangeSet peqRecalled(DeviceState& s, EditSink& sink, int channel) {
    if (channel < 1 || channel > kInputRecords) return {};
    ChangeSet changed = clampRecordFields(s, true, channel);
    changed.merge(sendPeqBlock(s, sink, channel, false));
    return changed;
}

bool PeqBypass::active(const DeviceState& s, int channel) const {
    if (channel < 1 || channel > kInputRecords) return false;
    const auto& a = areas_[static_cast<std::size_t>(channel - 1)];
    return a && peqBlockOf(s.in(channel)) == a->flat;
}

void PeqBypass::forget(int channel) {
    if (channel >= 1 && channel <= kInputRecords) areas_[static_cast<std::size_t>(channel - 1)].reset();
}

ChangeSet PeqBypass::set(DeviceState& s, EditSink& sink, int channel, bool on) {
    if (channel < 1 || channel > kInputRecords) return {};
    auto& area = areas_[static_cast<std::size_t>(channel - 1)];
    InputChannel& ch = s.in(channel);
    if (on) {
        if (active(s, channel)) return {};
        Area a;
        a.saved = peqBlockOf(ch);
        ch.hpfOn = 0;
        ch.lpfOn = 0;
        ch.hpfFreq = kHpfResetFreq;
        ch.lpfFreq = kLpfResetFreq;
        for (int b = 0; b < kPeqBands; ++b)
            ch.peq[static_cast<std::size_t>(b)].bandGain = kPeqResetGain;
        a.flat = peqBlockOf(ch);
        area = a;
    } else {
        // A bypass some other change has already ended has nothing left to restore.
        if (!active(s, channel)) {
            area.reset();
            return {};
        }
        setPeqBlock(ch, area->saved);
        area.reset();
    }
    return sendPeqBlock(s, sink, channel, true);
}

ChangeSet peqDragHandle(DeviceState& s, EditSink& sink, DragPacer& pacer, Clock::time_point now, int channel,
                        int handle, double hz, double db, bool finished) {
    ChangeSet changed;
    if (channel < 1 || channel > kInputRecords || handle < 0 || handle >= kPeqHandles) return changed;
    if (handle >= kHpfHandle && !peqHasFilters(channel)) return changed;
    const double f = std::isfinite(hz) ? hz : 1000.0;
    const std::int32_t freq = static_cast<std::int32_t>(std::lround(std::clamp(f, 20.0, 20000.0)));
    if (handle < kHpfHandle) {
        const int band = handle + 1;
        const double g = std::isfinite(db) ? std::clamp(db, -15.0, 15.0) : 0.0;
        store(s, inField(channel, bandPath(band, "bandFreq")), freq, changed);
        store(s, inField(channel, bandPath(band, "bandGain")),
              static_cast<std::int32_t>(std::lround(g * 10.0)) + 150, changed);
    } else {
        store(s, inField(channel, handle == kHpfHandle ? "hpfFreq" : "lpfFreq"), freq, changed);
    }
    if (pacer.move(now, s.spanTime, finished))
        queueHandle(s, sink, channel, handle);
    else
        pacer.setTarget((channel << kPendingChannelShift) | handle);
    return changed;
}

ChangeSet peqFlushDrag(DeviceState& s, EditSink& sink, DragPacer& pacer, Clock::time_point now) {
    const int target = pacer.pendingTarget();
    if (target < 0 || !pacer.flushDue(now)) return {};
    const int ch = target >> kPendingChannelShift;
    const int handle = target & ((1 << kPendingChannelShift) - 1);
    // The page may have moved on to another channel; the frame still belongs to the dragged one.
    if (ch >= 1 && ch <= kInputRecords) queueHandle(s, sink, ch, handle);
    return {};
}

ChangeSet peqResetHandle(DeviceState& s, EditSink& sink, int channel, int handle) {
    ChangeSet changed;
    if (channel < 1 || channel > kInputRecords || handle < 0 || handle >= kHpfHandle) return changed;
    store(s, inField(channel, bandPath(handle + 1, "bandGain")), kPeqResetGain, changed);
    queueHandle(s, sink, channel, handle);
    return changed;
}

ChangeSet clampRecordFields(DeviceState& s, bool input, int record) {
    ChangeSet changed;
    const RecordKind kind = input ? RecordKind::Input : RecordKind::Output;
    for (const FieldInfo& f : FieldRegistry::instance().fields()) {
        if (f.record != kind || f.recordIndex != record || f.kind == FieldKind::Name) continue;
        const std::int32_t v = FieldRegistry::get(s, f);
        const std::int32_t c = std::clamp(v, f.min, f.max);
        if (c != v) {
            FieldRegistry::set(s, f, c);
            changed.add(f.id);
        }
    }
    return changed;
}

} // namespace quorvel
