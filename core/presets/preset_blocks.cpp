#include "presets/preset_blocks.h"

#include "mixing/effects_text.h"
#include "processing/dynamics_text.h"
#include "processing/geq_text.h"
#include "processing/limiter_text.h"
#include "processing/peq_text.h"

namespace quorvel {

namespace {
bool validInput(int index) {
    return index >= 0 && index < kInputRecords;
}
bool validOutput(int index) {
    return index >= 0 && index < kOutputRecords;
}
} // namespace

const PresetTable& presetTable(PresetBlock block) {
    switch (block) {
    case PresetBlock::Noise:
        return kNoiseTable;
    case PresetBlock::Compressor:
        return kCompressorTable;
    case PresetBlock::Peq:
        return kPeqTable;
    case PresetBlock::Limiter:
        return kLimitTable;
    case PresetBlock::Geq:
        return kGeqTable;
    case PresetBlock::Delay:
        return kDelayTable;
    case PresetBlock::Reverb:
        return kReverbTable;
    }
    return kNoiseTable;
}

const PresetMenu& presetMenu(PresetBlock block) {
    return block == PresetBlock::Compressor || block == PresetBlock::Reverb ? kPresetMenu216 : kPresetMenu215;
}

std::string blockDataText(PresetBlock block, const DeviceState& s, int index) {
    const auto i = static_cast<std::size_t>(index);
    switch (block) {
    case PresetBlock::Noise:
        return validInput(index) ? noiseDataText(s.input[i].gate) : std::string();
    case PresetBlock::Compressor:
        return validInput(index) ? compressorDataText(s.input[i].dynamics) : std::string();
    case PresetBlock::Peq:
        return validInput(index) ? peqDataText(s.input[i]) : std::string();
    case PresetBlock::Limiter:
        return validOutput(index) ? limiterDataText(s.output[i].limiter) : std::string();
    case PresetBlock::Geq:
        return validOutput(index) ? geqDataText(s.output[i].geq) : std::string();
    case PresetBlock::Delay:
        return delayDataText(s);
    case PresetBlock::Reverb:
        return reverbDataText(s);
    }
    return {};
}

bool applyBlockDataText(PresetBlock block, std::string_view text, DeviceState& s, int index,
                        std::string& error) {
    const auto i = static_cast<std::size_t>(index);
    const bool perOutput = block == PresetBlock::Limiter || block == PresetBlock::Geq;
    const bool perEffect = block == PresetBlock::Delay || block == PresetBlock::Reverb;
    if (!perEffect && !(perOutput ? validOutput(index) : validInput(index))) {
        error = "No such channel for a " + std::string(presetTable(block).name) + " preset.";
        return false;
    }
    switch (block) {
    case PresetBlock::Noise:
        return readNoiseDataText(text, s.input[i].gate, error);
    case PresetBlock::Compressor:
        return readCompressorDataText(text, s.input[i].dynamics, error);
    case PresetBlock::Peq:
        return readPeqDataText(text, s.input[i], error);
    case PresetBlock::Limiter:
        return readLimiterDataText(text, s.output[i].limiter, error);
    case PresetBlock::Geq:
        return readGeqDataText(text, s.output[i].geq, error);
    case PresetBlock::Delay:
        return readDelayDataText(text, s, error);
    case PresetBlock::Reverb:
        return readReverbDataText(text, s, error);
    }
    return false;
}

std::optional<std::string> saveBlockPreset(PresetStore& store, PresetBlock block, const DeviceState& s,
                                           int index) {
    const std::string text = blockDataText(block, s, index);
    if (text.empty()) {
        store.reportError("No such channel for a " + std::string(presetTable(block).name) + " preset.");
        return std::nullopt;
    }
    return PresetOperations(store, presetTable(block)).save(text);
}

RecallStatus recallBlockPreset(PresetStore& store, PresetBlock block, std::string_view itemText,
                               DeviceState& s, int index) {
    if (!parsePresetItem(itemText)) {
        return RecallStatus::Ignored;
    }
    const unsigned errorsBefore = store.errorCount();
    PresetOperations ops(store, presetTable(block));
    const auto data = ops.readData(itemText);
    if (!data) {
        // readData reports database errors itself; a vanished row is not an error.
        return store.errorCount() != errorsBefore ? RecallStatus::Failed : RecallStatus::Ignored;
    }
    std::string error;
    if (!applyBlockDataText(block, *data, s, index, error)) {
        store.reportError(error);
        return RecallStatus::Failed;
    }
    return RecallStatus::Recalled;
}

} // namespace quorvel
