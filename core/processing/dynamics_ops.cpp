#include "processing/dynamics_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "link/field_registry.h"
#include "processing/dynamics_text.h"
#include "processing/limiter_text.h"

namespace quorvel {
namespace {

const FieldRegistry& reg() {
    return FieldRegistry::instance();
}

std::int32_t nearestStep(double v, std::int32_t lo, std::int32_t hi) {
    if (!std::isfinite(v)) return lo;
    const long long n = std::llround(std::clamp(v, -1e6, 1e6));
    return static_cast<std::int32_t>(std::clamp<long long>(n, lo, hi));
}

bool finite(double a, double b) {
    return std::isfinite(a) && std::isfinite(b);
}

std::optional<FieldId> fieldAt(const DeviceState& s, const std::int32_t& member) {
    return reg().idOf(s, &member);
}

// The raw ratio as a number the curve can divide by.
double ratioOf(std::int32_t raw) {
    return std::max(raw, std::int32_t{10}) * 0.1;
}

struct BlockValue {
    FieldId field;
    std::int32_t value;
};

void queueFrame(const DeviceState& s, EditSink& sink, const FieldInfo& f, bool member) {
    if (!s.link.linkOnline) return;
    OutgoingFrame frame = carrierFrame(s, f);
    if (frame.text.empty()) return;
    if (member) frame.pauseAfter = std::max(frame.pauseAfter, kMemberPause);
    sink.queue(std::move(frame));
}

// Every field of the block carries the same frame, so the record gets one and each member one.
ChangeSet storeBlock(DeviceState& s, EditSink& sink, const std::vector<BlockValue>& block) {
    ChangeSet changed;
    if (block.empty()) return changed;
    for (const BlockValue& b : block) {
        const FieldInfo& f = reg().field(b.field);
        FieldRegistry::set(s, f, std::clamp(b.value, f.min, f.max));
        changed.add(b.field);
    }
    const FieldInfo& head = reg().field(block.front().field);
    queueFrame(s, sink, head, false);
    for (int m : linkedMembers(s, head.record, head.recordIndex, head.linkFlag)) {
        std::optional<FieldId> memberHead;
        for (const BlockValue& b : block) {
            const std::optional<FieldId> mid = reg().sibling(b.field, m);
            if (!mid) continue;
            const FieldInfo& mf = reg().field(*mid);
            const std::int32_t v = FieldRegistry::get(s, reg().field(b.field));
            if (v < mf.min || v > mf.max) continue;
            FieldRegistry::set(s, mf, v);
            changed.add(*mid);
            if (!memberHead) memberHead = *mid;
        }
        if (memberHead) queueFrame(s, sink, reg().field(*memberHead), true);
    }
    return changed;
}

bool validChannel(int channel) {
    return channel >= 1 && channel <= kInputRecords;
}
bool validOutput(int output) {
    return output >= 1 && output <= kOutputRecords;
}

// Threshold, ratio and gain of a compressor-style block as handle edits.
std::optional<HandleEdit> compressorStyleEdit(const DeviceState& s, const std::int32_t& threshold,
                                              const std::int32_t& ratio, const std::int32_t& gain, int handle,
                                              double x, double y, const int kinds[3]) {
    if (!finite(x, y)) return std::nullopt;
    const std::int32_t* target = nullptr;
    std::int32_t raw = 0;
    switch (handle) {
    case kThresholdHandle:
        target = &threshold;
        raw = thresholdFromHandle(x);
        break;
    case kRatioHandle:
        target = &ratio;
        raw = ratioFromHandle(threshold - 60.0, x, y);
        break;
    case kGainHandle:
        target = &gain;
        raw = gainFromHandle(y);
        break;
    default:
        return std::nullopt;
    }
    const std::optional<FieldId> id = fieldAt(s, *target);
    if (!id) return std::nullopt;
    return HandleEdit{*id, raw, kinds[handle]};
}

EditOutcome applyHandle(DeviceState& s, EditSink& sink, const std::optional<HandleEdit>& e,
                        const EditOptions& options) {
    if (!e) {
        EditOutcome out;
        out.refusal = "no such handle or point";
        return out;
    }
    return applyEdit(s, sink, e->field, e->raw, options);
}

std::vector<BlockValue> compressorBlock(const DeviceState& s, int channel, const Dynamics& v) {
    const Dynamics& d = s.in(channel).dynamics;
    return {{*fieldAt(s, d.compEnabled), v.compEnabled}, {*fieldAt(s, d.compThreshold), v.compThreshold},
            {*fieldAt(s, d.compAttack), v.compAttack},   {*fieldAt(s, d.compRelease), v.compRelease},
            {*fieldAt(s, d.compGain), v.compGain},       {*fieldAt(s, d.compRatio), v.compRatio}};
}

std::vector<BlockValue> gateBlock(const DeviceState& s, int channel, const GateSettings& v) {
    const GateSettings& g = s.in(channel).gate;
    return {{*fieldAt(s, g.gateEnabled), v.gateEnabled},
            {*fieldAt(s, g.gateThreshold), v.gateThreshold},
            {*fieldAt(s, g.gateAttack), v.gateAttack},
            {*fieldAt(s, g.gateRelease), v.gateRelease}};
}

std::vector<BlockValue> limiterBlock(const DeviceState& s, int output, const std::array<std::int32_t, 6>& v) {
    std::vector<BlockValue> block;
    for (std::size_t k = 0; k < v.size(); ++k)
        block.push_back({*fieldAt(s, s.out(output).limiter[k]), v[k]});
    return block;
}

} // namespace

std::int32_t thresholdFromHandle(double inputDb) {
    return nearestStep(inputDb + 60.0, 0, 60);
}

std::int32_t ratioFromHandle(double thresholdDb, double inputDb, double outputDb) {
    if (!finite(inputDb, outputDb) || !std::isfinite(thresholdDb)) return 100;
    const double dy = outputDb - thresholdDb;
    if (dy == 0.0) return 100; // level with the threshold: as hard as the knob goes
    const double r = (inputDb - thresholdDb) / dy;
    // Straight above the threshold point (r = 0) the line is steeper than unity, like 0 < r < 1.
    if (r >= 0.0 && r < 1.0) return 10;
    if (r < 0.0 || r > 10.0) return 100;
    return nearestStep(r * 10.0, 10, 100);
}

std::int32_t gainFromHandle(double outputDb) {
    return nearestStep((outputDb + 60.0) * 10.0, 0, 200);
}

std::optional<HandleEdit> compressorHandleEdit(const DeviceState& s, int channel, int handle, double inputDb,
                                               double outputDb) {
    if (!validChannel(channel)) return std::nullopt;
    static constexpr int kKinds[3] = {54, 55, 58};
    const Dynamics& d = s.in(channel).dynamics;
    return compressorStyleEdit(s, d.compThreshold, d.compRatio, d.compGain, handle, inputDb, outputDb,
                               kKinds);
}

std::optional<HandleEdit> limiterHandleEdit(const DeviceState& s, int output, int handle, double inputDb,
                                            double outputDb) {
    if (!validOutput(output)) return std::nullopt;
    static constexpr int kKinds[3] = {41, 42, 45};
    const auto& l = s.out(output).limiter;
    return compressorStyleEdit(s, l[1], l[5], l[4], handle, inputDb, outputDb, kKinds);
}

std::optional<HandleEdit> gateHandleEdit(const DeviceState& s, int channel, int handle, double inputDb,
                                         double outputDb) {
    if (!validChannel(channel) || !finite(inputDb, outputDb)) return std::nullopt;
    const GateSettings& g = s.in(channel).gate;
    if (handle == kGateThresholdHandle)
        return HandleEdit{*fieldAt(s, g.gateThreshold), thresholdFromHandle(inputDb), 51};
    if (handle == kGateRangeHandle) {
        const double threshold = g.gateThreshold - 60.0;
        return HandleEdit{*fieldAt(s, g.gateRange), nearestStep(threshold - outputDb, 0, 60), 0};
    }
    return std::nullopt;
}

EditOutcome applyCompressorDrag(DeviceState& s, EditSink& sink, int channel, int handle, double inputDb,
                                double outputDb, const EditOptions& options) {
    return applyHandle(s, sink, compressorHandleEdit(s, channel, handle, inputDb, outputDb), options);
}

EditOutcome applyLimiterDrag(DeviceState& s, EditSink& sink, int output, int handle, double inputDb,
                             double outputDb, const EditOptions& options) {
    return applyHandle(s, sink, limiterHandleEdit(s, output, handle, inputDb, outputDb), options);
}

EditOutcome applyGateDrag(DeviceState& s, EditSink& sink, int channel, int handle, double inputDb,
                          double outputDb, const EditOptions& options) {
    return applyHandle(s, sink, gateHandleEdit(s, channel, handle, inputDb, outputDb), options);
}

ChangeSet storeCompressor(DeviceState& s, EditSink& sink, int channel, const Dynamics& values) {
    if (!validChannel(channel)) return {};
    return storeBlock(s, sink, compressorBlock(s, channel, values));
}

ChangeSet storeGate(DeviceState& s, EditSink& sink, int channel, const GateSettings& values) {
    if (!validChannel(channel)) return {};
    return storeBlock(s, sink, gateBlock(s, channel, values));
}

ChangeSet storeLimiter(DeviceState& s, EditSink& sink, int output,
                       const std::array<std::int32_t, 6>& values) {
    if (!validOutput(output)) return {};
    return storeBlock(s, sink, limiterBlock(s, output, values));
}

ChangeSet resetCompressor(DeviceState& s, EditSink& sink, int channel) {
    return storeCompressor(s, sink, channel, kCompressorReset);
}

ChangeSet resetGate(DeviceState& s, EditSink& sink, int channel) {
    return storeGate(s, sink, channel, kGateReset);
}

ChangeSet resetLimiter(DeviceState& s, EditSink& sink, int output) {
    return storeLimiter(s, sink, output, kLimiterReset);
}

std::optional<ChangeSet> recallCompressorText(DeviceState& s, EditSink& sink, int channel,
                                              std::string_view text, std::string& error) {
    if (!validChannel(channel)) {
        error = "no input channel " + std::to_string(channel);
        return std::nullopt;
    }
    Dynamics d = s.in(channel).dynamics;
    if (!readCompressorDataText(text, d, error)) return std::nullopt;
    return storeCompressor(s, sink, channel, d);
}

std::optional<ChangeSet> recallGateText(DeviceState& s, EditSink& sink, int channel, std::string_view text,
                                        std::string& error) {
    if (!validChannel(channel)) {
        error = "no input channel " + std::to_string(channel);
        return std::nullopt;
    }
    GateSettings g = s.in(channel).gate;
    if (!readNoiseDataText(text, g, error)) return std::nullopt;
    return storeGate(s, sink, channel, g);
}

std::optional<ChangeSet> recallLimiterText(DeviceState& s, EditSink& sink, int output, std::string_view text,
                                           std::string& error) {
    if (!validOutput(output)) {
        error = "no output " + std::to_string(output);
        return std::nullopt;
    }
    auto l = s.out(output).limiter;
    if (!readLimiterDataText(text, l, error)) return std::nullopt;
    return storeLimiter(s, sink, output, l);
}

DynamicsMeter dynamicsMeter(std::int32_t meter, std::int32_t thresholdRaw, std::int32_t ratioRaw,
                            std::int32_t gainRaw) {
    const double level = std::clamp(meter, std::int32_t{0}, std::int32_t{60});
    const double in = level - 60.0;
    const double t = std::clamp(thresholdRaw, std::int32_t{0}, std::int32_t{60}) - 60.0;
    const double r = ratioOf(ratioRaw);
    const double g = std::clamp(gainRaw, std::int32_t{0}, std::int32_t{200}) * 0.1;
    double out = 0.0;
    if (t + g > 0.0) {
        out = in <= t ? in + g : 0.0;
    } else if (t + g - t / r < -60.0) {
        out = 0.0;
    } else if (in <= t) {
        out = in + g;
    } else {
        out = t + g + (in - t) / r;
        if (out > 0.0 || in > 0.0) out = 0.0;
    }
    DynamicsMeter m;
    m.input = level;
    m.output = out + 60.0;
    m.reduction = m.output - level + 60.0;
    return m;
}

DynamicsMeter compressorMeter(const InputChannel& ch) {
    return dynamicsMeter(ch.meter, ch.dynamics.compThreshold, ch.dynamics.compRatio, ch.dynamics.compGain);
}

DynamicsMeter limiterMeter(const OutputChannel& out) {
    return dynamicsMeter(out.meter, out.limiter[1], out.limiter[5], out.limiter[4]);
}

std::string dynamicsValueText(DynamicsUnit unit, std::int32_t raw) {
    char buf[32];
    switch (unit) {
    case DynamicsUnit::Db60:
        std::snprintf(buf, sizeof buf, "%d dB", raw - 60);
        break;
    case DynamicsUnit::Ratio:
        std::snprintf(buf, sizeof buf, "1:%0.1f ", raw * 0.1);
        break;
    case DynamicsUnit::TenthDb:
        std::snprintf(buf, sizeof buf, "%0.1f dB", raw * 0.1);
        break;
    case DynamicsUnit::Ms:
        std::snprintf(buf, sizeof buf, "%d ms", raw);
        break;
    }
    return buf;
}

} // namespace quorvel
