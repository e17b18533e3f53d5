// The equaliser response of a worst-case channel: four bands, HPF and LPF at 48 dB/oct, band
// curves and the total. Three ways of computing it are printed side by side: the direct reading
// (a cosine, sine and logarithm per section and point), the same with the grid's cosines and
// sines computed once, and what the view runs (one logarithm per band and point, and only the
// bands that changed).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "curves/eq_response.h"

using namespace quorvel::curves;

namespace {

std::vector<EqBand> worstCase() {
    return {
        {BandKind::Parametric, BandShape::LowShelf, 120, 6, 2, true},
        {BandKind::Parametric, BandShape::Peaking, 500, -4, 1.5, true},
        {BandKind::Parametric, BandShape::Peaking, 2200, 3, 4, true},
        {BandKind::Parametric, BandShape::HighShelf, 9000, -6, 2, true},
        {BandKind::HighPass, BandShape::Peaking, 40, 0, 6, true},
        {BandKind::LowPass, BandShape::Peaking, 16000, 0, 6, true},
    };
}

void BM_DirectReading(benchmark::State& state) {
    const auto bands = worstCase();
    for (auto _ : state) {
        Curve total{};
        std::vector<Curve> per;
        for (const EqBand& b : bands) {
            per.push_back(directBandResponse(b));
            for (int i = 0; i < kGridPoints; ++i)
                total[i] += per.back()[i];
        }
        benchmark::DoNotOptimize(total);
        benchmark::DoNotOptimize(per);
    }
}

void BM_PrecomputedGrid(benchmark::State& state) {
    const auto bands = worstCase();
    std::array<double, kGridPoints> c{}, sn{};
    for (int i = 0; i < kGridPoints; ++i) {
        const double w = 0.00006544984694978735 * frequencyGrid()[i];
        c[i] = std::cos(w);
        sn[i] = std::sin(w);
    }
    for (auto _ : state) {
        Curve total{};
        std::vector<Curve> per;
        for (const EqBand& b : bands) {
            Curve curve{};
            for (const Biquad& s : bandSections(b))
                for (int i = 0; i < kGridPoints; ++i) {
                    const double nr = s.b1 + (s.b0 + s.b2) * c[i], ni = (s.b0 - s.b2) * sn[i];
                    const double dr = s.a1 + (1.0 + s.a2) * c[i], di = (1.0 - s.a2) * sn[i];
                    curve[i] += 20.0 * std::log10(std::sqrt((nr * nr + ni * ni) / (dr * dr + di * di)));
                }
            for (int i = 0; i < kGridPoints; ++i)
                total[i] += curve[i];
            per.push_back(curve);
        }
        benchmark::DoNotOptimize(total);
        benchmark::DoNotOptimize(per);
    }
}

void BM_ViewAllBands(benchmark::State& state) {
    const auto bands = worstCase();
    for (auto _ : state) {
        std::vector<Curve> per;
        Curve total = totalResponse(bands, &per);
        benchmark::DoNotOptimize(total);
        benchmark::DoNotOptimize(per);
    }
}

void BM_ViewOneChangedBand(benchmark::State& state) {
    auto bands = worstCase();
    ResponseCache cache;
    cache.update(bands);
    int step = 0;
    for (auto _ : state) {
        // A handle drag: band 2 moves, the other five are kept.
        bands[1].gain = -4 + (step++ % 50) * 0.1;
        benchmark::DoNotOptimize(cache.update(bands));
    }
}

// The 48 dB/oct filter alone is the most expensive band that a drag can move.
void BM_ViewOneChangedFilter(benchmark::State& state) {
    auto bands = worstCase();
    ResponseCache cache;
    cache.update(bands);
    int step = 0;
    for (auto _ : state) {
        bands[5].frequency = 16000 - (step++ % 50) * 10;
        benchmark::DoNotOptimize(cache.update(bands));
    }
}

} // namespace

BENCHMARK(BM_DirectReading)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PrecomputedGrid)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViewAllBands)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViewOneChangedBand)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViewOneChangedFilter)->Unit(benchmark::kMicrosecond);
