// What the dynamics pages do to DeviceState beyond a single knob (which is a plain applyEdit): the
// handle drags of the transfer curves, RESET, the store of a recalled preset and the meter. Every
// operation stores, queues the block's frame only while online and applies the control-group copy
// ("COMP" for the gate and compressor, "LIMIT" for the limiter), 10 ms after each member's frame.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/edit.h"
#include "link/edit_sink.h"

namespace quorvel {

// The reset values of each block.
inline constexpr Dynamics kCompressorReset{1, 30, 100, 100, 0, 10};
inline constexpr std::array<std::int32_t, 6> kLimiterReset{1, 30, 100, 100, 0, 10};
// The gate's reset leaves the range as it was.
inline constexpr GateSettings kGateReset{1, 0, 0, 1, 20};

// ---- handle arithmetic shared by the compressor and the limiter ----
// Each stores the nearest step of the knob's range, never a value the knob could not reach.

// Threshold handle at input x dB: 0..60.
std::int32_t thresholdFromHandle(double inputDb);
// Ratio handle dragged to (x, y) with the threshold at thresholdDb: the ratio the line from the
// threshold point through (x, y) stands for, 10..100. Level with the threshold or falling gives
// 1:10.0, steeper than unity (and straight above the threshold point) 1:1.0.
std::int32_t ratioFromHandle(double thresholdDb, double inputDb, double outputDb);
// Make-up gain handle at output y dB, drawn at G - 60: 0..200.
std::int32_t gainFromHandle(double outputDb);

// The handles of a compressor-style curve.
enum DynamicsHandle { kThresholdHandle = 0, kRatioHandle = 1, kGainHandle = 2 };
// The gate's: the threshold point and the range point under it.
enum GateHandle { kGateThresholdHandle = 0, kGateRangeHandle = 1 };

// One field edit a drag makes, with the readout kind it shows.
struct HandleEdit {
    FieldId field = 0;
    std::int32_t raw = 0;
    int readoutKind = 0;
};

// What a drag of handle `handle` to (x, y) dB asks for; nothing for an unknown handle, a channel
// or output that does not exist, or a point that is not a number.
std::optional<HandleEdit> compressorHandleEdit(const DeviceState& s, int channel, int handle, double inputDb,
                                               double outputDb);
std::optional<HandleEdit> limiterHandleEdit(const DeviceState& s, int output, int handle, double inputDb,
                                            double outputDb);
// Handle 0 moves the threshold (B follows, as after every gate change); handle 1 sets the range
// in whole dB below the threshold point, which is only stored.
std::optional<HandleEdit> gateHandleEdit(const DeviceState& s, int channel, int handle, double inputDb,
                                         double outputDb);

// The edit applied as a knob release: applyEdit with its link copy. Refused when the drag asks
// for nothing.
EditOutcome applyCompressorDrag(DeviceState& s, EditSink& sink, int channel, int handle, double inputDb,
                                double outputDb, const EditOptions& options = {});
EditOutcome applyLimiterDrag(DeviceState& s, EditSink& sink, int output, int handle, double inputDb,
                             double outputDb, const EditOptions& options = {});
EditOutcome applyGateDrag(DeviceState& s, EditSink& sink, int channel, int handle, double inputDb,
                          double outputDb, const EditOptions& options = {});

// ---- whole blocks: RESET and recall ----
// Each clamps the values into their ranges, stores the block, queues its one frame (C, B or D)
// while online, then copies the whole block to the linked members, each member's frame followed
// by the member pause. Channels 13..16 have no frame; their copies stay in DeviceState.

ChangeSet storeCompressor(DeviceState& s, EditSink& sink, int channel, const Dynamics& values);
// The range is not part of a stored gate block: it keeps its value here and on the members.
ChangeSet storeGate(DeviceState& s, EditSink& sink, int channel, const GateSettings& values);
ChangeSet storeLimiter(DeviceState& s, EditSink& sink, int output, const std::array<std::int32_t, 6>& values);

ChangeSet resetCompressor(DeviceState& s, EditSink& sink, int channel);
ChangeSet resetGate(DeviceState& s, EditSink& sink, int channel);
ChangeSet resetLimiter(DeviceState& s, EditSink& sink, int output);

// A preset's data text stored as a recall stores it. On a damaged text nothing changes, nothing
// is queued, and error says why.
std::optional<ChangeSet> recallCompressorText(DeviceState& s, EditSink& sink, int channel,
                                              std::string_view text, std::string& error);
std::optional<ChangeSet> recallGateText(DeviceState& s, EditSink& sink, int channel, std::string_view text,
                                        std::string& error);
std::optional<ChangeSet> recallLimiterText(DeviceState& s, EditSink& sink, int output, std::string_view text,
                                           std::string& error);

// ---- the three-bar meter ----

struct DynamicsMeter {
    double input = 0;     // the metered level, 0..60
    double output = 0;    // the computed output + 60
    double reduction = 0; // (out + 60) - input + 60: 60 when nothing is taken off
};

// From the record's `meter` (above 60 read as 60) and the raw threshold, ratio and gain, as the
// compressor computes its output. A ratio below 1:1.0 is read as 1:1.0.
DynamicsMeter dynamicsMeter(std::int32_t meter, std::int32_t thresholdRaw, std::int32_t ratioRaw,
                            std::int32_t gainRaw);
DynamicsMeter compressorMeter(const InputChannel& ch);
DynamicsMeter limiterMeter(const OutputChannel& out);

// ---- the page's own value texts ----

enum class DynamicsUnit { Db60, Ratio, TenthDb, Ms };
// "-30 dB", "1:4.5 " (with its trailing blank), "12.5 dB", "100 ms".
std::string dynamicsValueText(DynamicsUnit unit, std::int32_t raw);

} // namespace quorvel
