#include "remote/preset_recall.h"

#include <algorithm>
#include <cctype>

#include "mixing/effect_ops.h"
#include "presets/preset_operations.h"
#include "processing/dynamics_ops.h"
#include "processing/geq_ops.h"
#include "processing/peq_ops.h"

namespace quorvel::remote {

namespace {

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

constexpr PresetBlock kBlocks[] = {PresetBlock::Noise,   PresetBlock::Compressor, PresetBlock::Peq,
                                   PresetBlock::Limiter, PresetBlock::Geq,        PresetBlock::Delay,
                                   PresetBlock::Reverb};

// What the block's page runs after its list recalled: the block stored again from the state.
ChangeSet storeRecalled(PresetBlock block, DeviceState& s, EditSink& sink, int channel) {
    switch (block) {
    case PresetBlock::Noise: {
        const GateSettings g = s.in(channel).gate;
        return storeGate(s, sink, channel, g);
    }
    case PresetBlock::Compressor: {
        const Dynamics d = s.in(channel).dynamics;
        return storeCompressor(s, sink, channel, d);
    }
    case PresetBlock::Peq:
        return peqRecalled(s, sink, channel);
    case PresetBlock::Limiter: {
        const auto values = s.out(channel).limiter;
        return storeLimiter(s, sink, channel, values);
    }
    case PresetBlock::Geq:
        return geqRecalled(s, sink, channel);
    case PresetBlock::Delay:
        return storeRecalledEffect(s, sink, Effect::Delay);
    case PresetBlock::Reverb:
        return storeRecalledEffect(s, sink, Effect::Reverb);
    }
    return {};
}

} // namespace

bool isSceneKind(std::string_view kind) {
    return sameText(kind, "scene");
}

std::optional<PresetBlock> presetBlockOfKind(std::string_view kind) {
    for (PresetBlock b : kBlocks)
        if (sameText(kind, presetTable(b).name)) return b;
    return std::nullopt;
}

std::optional<PresetRecall> recallPreset(PresetStore& store, std::string_view kind, std::string_view item,
                                         int channel, DeviceState& s, EditSink& sink, std::string& error) {
    const auto block = presetBlockOfKind(kind);
    if (!block) {
        error = "no preset kind \"" + std::string(kind) +
                "\" (scene, NOISE, Compressor, PEQ, LIMIT, GEQ, DELAY, REV)";
        return std::nullopt;
    }
    const bool onInput =
        *block == PresetBlock::Noise || *block == PresetBlock::Compressor || *block == PresetBlock::Peq;
    const bool onOutput = *block == PresetBlock::Limiter || *block == PresetBlock::Geq;
    if (onInput && (channel < 1 || channel > kInputRecords)) {
        error = "channel: an input 1.." + std::to_string(kInputRecords);
        return std::nullopt;
    }
    if (onOutput && (channel < 1 || channel > kOutputRecords)) {
        error = "channel: an output 1.." + std::to_string(kOutputRecords);
        return std::nullopt;
    }
    if (!onInput && !onOutput) channel = 1;

    // The list's own items, so the row is found exactly as the page would find it.
    std::string chosen;
    const unsigned errorsBefore = store.errorCount();
    for (const std::string& text : PresetOperations(store, presetTable(*block)).fill()) {
        const auto parsed = parsePresetItem(text);
        if (!parsed) continue;
        if (std::to_string(parsed->id) == item || parsed->name == item) {
            chosen = text;
            break;
        }
    }
    if (store.errorCount() != errorsBefore) {
        error = "the preset store could not be read";
        return std::nullopt;
    }
    if (chosen.empty()) {
        error = "no " + std::string(presetTable(*block).name) + " preset \"" + std::string(item) + "\"";
        return std::nullopt;
    }
    switch (recallBlockPreset(store, *block, chosen, s, channel - 1)) {
    case RecallStatus::Recalled:
        break;
    case RecallStatus::Ignored:
        error = "the preset \"" + chosen + "\" is gone";
        return std::nullopt;
    case RecallStatus::Failed:
        error = "the preset \"" + chosen + "\" could not be read";
        return std::nullopt;
    }
    PresetRecall r;
    r.changes = storeRecalled(*block, s, sink, channel);
    r.undo = resendingWith(
        [b = *block, channel](DeviceState& st, EditSink& sk) { storeRecalled(b, st, sk, channel); });
    return r;
}

} // namespace quorvel::remote
