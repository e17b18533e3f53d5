// Preset actions on a table of 1,000 rows (fill also on 100): save, fill and recall as the pages
// run them, on a real encrypted file in a scratch directory.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "link/device_state.h"
#include "presets/preset_blocks.h"
#include "presets/preset_operations.h"
#include "presets/preset_store.h"

namespace {

using namespace quorvel;

class Scratch {
public:
    explicit Scratch(int rows) {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-bench-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        store_ = std::make_unique<PresetStore>(PresetStore::pathIn(dir_));
        loadFactoryDefaults(state_);
        store_->RunStatement("begin");
        for (int i = 0; i < rows; ++i) {
            saveBlockPreset(*store_, PresetBlock::Geq, state_, 0);
        }
        store_->RunStatement("commit");
    }
    ~Scratch() {
        store_.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    PresetStore& store() { return *store_; }
    DeviceState& state() { return state_; }

private:
    std::filesystem::path dir_;
    std::unique_ptr<PresetStore> store_;
    DeviceState state_{};
};

void BM_SaveGeq(benchmark::State& st) {
    Scratch s(1000);
    PresetOperations ops(s.store(), kGeqTable);
    for (auto _ : st) {
        auto item = saveBlockPreset(s.store(), PresetBlock::Geq, s.state(), 0);
        st.PauseTiming();
        ops.remove(*item); // keep the table at 1,000 rows
        st.ResumeTiming();
    }
}
BENCHMARK(BM_SaveGeq)->Unit(benchmark::kMillisecond);

void BM_Fill(benchmark::State& st) {
    Scratch s(static_cast<int>(st.range(0)));
    PresetOperations ops(s.store(), kGeqTable);
    for (auto _ : st) {
        benchmark::DoNotOptimize(ops.fill());
    }
}
BENCHMARK(BM_Fill)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// Once per run, at start-up: the key derivation dominates.
void BM_OpenDatabase(benchmark::State& st) {
    Scratch s(0);
    for (auto _ : st) {
        PresetStore store(s.store().file());
        benchmark::DoNotOptimize(store.OpenDatabase());
    }
}
BENCHMARK(BM_OpenDatabase)->Unit(benchmark::kMillisecond);

void BM_RecallGeq(benchmark::State& st) {
    Scratch s(1000);
    for (auto _ : st) {
        benchmark::DoNotOptimize(recallBlockPreset(s.store(), PresetBlock::Geq, "500:SAVE500", s.state(), 3));
    }
}
BENCHMARK(BM_RecallGeq)->Unit(benchmark::kMillisecond);

} // namespace
