// Checksum throughput and the cost of building the frames the pages send most.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "link/commands.h"
#include "link/frame.h"
#include "link/gbk.h"

using namespace quorvel;

namespace {

DeviceState defaults() {
    DeviceState s;
    loadFactoryDefaults(s);
    return s;
}

// The traffic of a busy session: faders, EQ edits, a graphic EQ and a name now and then.
std::vector<std::string> frameMix() {
    const DeviceState s = defaults();
    std::vector<std::string> mix;
    for (int c = 1; c <= 12; ++c)
        mix.push_back(buildA(s, c));
    for (int b = 1; b <= 4; ++b)
        mix.push_back(buildG(s, 3, b));
    mix.push_back(buildC(s, 1));
    mix.push_back(buildD(s, 1));
    mix.push_back(buildH(s, 1));
    mix.push_back(buildV(s, 1));
    mix.push_back(buildQ(1));
    return mix;
}

void BM_ChecksumFrameMix(benchmark::State& state) {
    const auto mix = frameMix();
    std::size_t bytes = 0;
    for (const auto& f : mix)
        bytes += f.size() - 5; // the covered text
    for (auto _ : state)
        for (const auto& f : mix)
            benchmark::DoNotOptimize(frameChecksum(std::string_view(f).substr(0, f.size() - 5)));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(mix.size()));
}
BENCHMARK(BM_ChecksumFrameMix);

void BM_Checksum64KiB(benchmark::State& state) {
    std::string buf(64 * 1024, '\0');
    std::mt19937 rng(7);
    for (char& c : buf)
        c = static_cast<char>(rng());
    for (auto _ : state)
        benchmark::DoNotOptimize(frameChecksum(buf));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(buf.size()));
}
BENCHMARK(BM_Checksum64KiB);

void BM_BuildA(benchmark::State& state) {
    const DeviceState s = defaults();
    int c = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(buildA(s, 1 + (c++ % 20)));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_BuildA);

void BM_BuildG(benchmark::State& state) {
    const DeviceState s = defaults();
    int b = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(buildG(s, 3, 1 + (b++ % 4)));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_BuildG);

void BM_BuildH(benchmark::State& state) {
    const DeviceState s = defaults();
    for (auto _ : state)
        benchmark::DoNotOptimize(buildH(s, 1));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_BuildH);

// Latin and Chinese names; the glyph cells are cached after the first frame, as in a session.
void BM_BuildV(benchmark::State& state) {
    DeviceState s = defaults();
    if (state.range(0) == 1) setName(s.in(1).name, utf8ToGbk("\xE4\xB8\xBB\xE5\xB8\xAD 1").value_or(""));
    for (auto _ : state)
        benchmark::DoNotOptimize(buildV(s, 1));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetLabel(state.range(0) == 1 ? "chinese" : "latin");
}
BENCHMARK(BM_BuildV)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
