#include "processing/geq_ops.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "link/commands.h"
#include "link/edit.h"
#include "link/field_registry.h"
#include "processing/geq_text.h"
#include "processing/peq_ops.h"

namespace quorvel {
namespace {

// Marks a sweep's pending frame apart from a single point's.
constexpr int kWholeCurve = 99;

FieldId bandField(int output, int band) {
    const auto id = FieldRegistry::instance().idOf("output[" + std::to_string(output) + "].geq[" +
                                                   std::to_string(band + 1) + "]");
    return id ? *id : 0;
}

std::vector<int> members(const DeviceState& s, int output) {
    return linkedMembers(s, RecordKind::Output, output, cg::kLinkEq);
}

bool validOutput(int output) {
    return output >= 1 && output <= kOutputRecords;
}

// H for the output and for each member the copy went to.
void queueH(const DeviceState& s, EditSink& sink, int output) {
    queueIfOnline(s, sink, buildH(s, output));
    for (int m : members(s, output))
        queueIfOnline(s, sink, buildH(s, m), kMemberPause);
}

void setBand(DeviceState& s, int output, int band, std::int32_t raw, ChangeSet& changed, bool copy) {
    s.out(output).geq[static_cast<std::size_t>(band)].gain = std::clamp(raw, 0, 300);
    changed.add(bandField(output, band));
    if (!copy) return;
    for (int m : members(s, output)) {
        s.out(m).geq[static_cast<std::size_t>(band)].gain =
            s.out(output).geq[static_cast<std::size_t>(band)].gain;
        changed.add(bandField(m, band));
    }
}

// The whole equaliser (kind 40) onto every member.
void copyAll(DeviceState& s, int output, ChangeSet& changed) {
    for (int m : members(s, output)) {
        for (int b = 0; b < kGeqBands; ++b) {
            s.out(m).geq[static_cast<std::size_t>(b)].gain =
                s.out(output).geq[static_cast<std::size_t>(b)].gain;
            changed.add(bandField(m, b));
        }
    }
}

ChangeSet allBands(int output) {
    ChangeSet c;
    for (int b = 0; b < kGeqBands; ++b)
        c.add(bandField(output, b));
    return c;
}

} // namespace

std::int32_t geqRawOfDb(double db) {
    const double g = std::isfinite(db) ? std::clamp(db, -15.0, 15.0) : 0.0;
    return static_cast<std::int32_t>(std::lround(g * 10.0)) + kGeqFlat;
}

ChangeSet geqDragPoint(DeviceState& s, EditSink& sink, DragPacer& pacer, Clock::time_point now, int output,
                       int band, double db, bool finished) {
    ChangeSet changed;
    if (!validOutput(output) || band < 0 || band >= kGeqBands) return changed;
    setBand(s, output, band, geqRawOfDb(db), changed, true);
    if (pacer.move(now, s.spanTime, finished))
        queueH(s, sink, output);
    else
        pacer.setTarget(output * 100 + band);
    return changed;
}

ChangeSet geqDrawStep(DeviceState& s, EditSink& sink, DragPacer& pacer, Clock::time_point now, int output,
                      const std::array<std::optional<double>, kGeqBands>& bandsDb) {
    ChangeSet changed;
    if (!validOutput(output)) return changed;
    bool any = false;
    for (int b = 0; b < kGeqBands; ++b) {
        const auto& v = bandsDb[static_cast<std::size_t>(b)];
        if (!v) continue;
        // Members follow when the sweep ends, with the whole curve at once.
        setBand(s, output, b, geqRawOfDb(*v), changed, false);
        any = true;
    }
    if (!any) return changed;
    if (pacer.move(now, s.spanTime, false))
        queueIfOnline(s, sink, buildH(s, output));
    else
        pacer.setTarget(output * 100 + kWholeCurve);
    return changed;
}

ChangeSet geqDrawRelease(DeviceState& s, EditSink& sink, DragPacer& pacer, Clock::time_point now,
                         int output) {
    ChangeSet changed;
    if (!validOutput(output)) return changed;
    pacer.move(now, s.spanTime, true);
    copyAll(s, output, changed);
    queueH(s, sink, output);
    return changed;
}

ChangeSet geqFlushDrag(DeviceState& s, EditSink& sink, DragPacer& pacer, Clock::time_point now) {
    const int target = pacer.pendingTarget();
    if (target < 0 || !pacer.flushDue(now)) return {};
    const int output = target / 100;
    if (!validOutput(output)) return {};
    // A sweep still in progress sends its own output only; its members follow on release.
    if (target % 100 == kWholeCurve)
        queueIfOnline(s, sink, buildH(s, output));
    else
        queueH(s, sink, output);
    return {};
}

ChangeSet geqResetPoint(DeviceState& s, EditSink& sink, int output, int band) {
    ChangeSet changed;
    if (!validOutput(output) || band < 0 || band >= kGeqBands) return changed;
    setBand(s, output, band, kGeqFlat, changed, true);
    queueH(s, sink, output);
    return changed;
}

ChangeSet geqReset(DeviceState& s, EditSink& sink, int output) {
    ChangeSet changed;
    if (!validOutput(output)) return changed;
    for (auto& g : s.out(output).geq)
        g.gain = kGeqFlat;
    changed.merge(allBands(output));
    copyAll(s, output, changed);
    queueH(s, sink, output);
    return changed;
}

bool geqRecall(DeviceState& s, EditSink& sink, int output, std::string_view text, ChangeSet& changed,
               std::string& error) {
    if (!validOutput(output)) {
        error = "no such output";
        return false;
    }
    if (!readGeqDataText(text, s.out(output).geq, error)) return false;
    changed.merge(geqRecalled(s, sink, output));
    return true;
}

ChangeSet geqRecalled(DeviceState& s, EditSink& sink, int output) {
    ChangeSet changed;
    if (!validOutput(output)) return changed;
    changed.merge(clampRecordFields(s, false, output));
    changed.merge(allBands(output));
    copyAll(s, output, changed);
    queueH(s, sink, output);
    return changed;
}

} // namespace quorvel
