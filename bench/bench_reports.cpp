// Receive-side throughput. Every received byte has to be checksummed once, so the CRC over the
// same frames is the floor the assembler and parsers are measured against.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/reports.h"

namespace {

using namespace quorvel;

std::string hx(int v, int digits) {
    char b[16];
    std::snprintf(b, sizeof b, "%0*X", digits, static_cast<unsigned>(v));
    return b;
}

std::string sealed(std::string body) {
    body += hx(frameChecksum(body), 4);
    body += '#';
    return body;
}

std::string statusFrame(std::mt19937& rng) {
    std::string body = "%Q,1,";
    for (int j = 0; j < 20; ++j)
        body += hx(static_cast<int>(rng() % 80), 2);
    body += hx(static_cast<int>(rng() % 256), 2) + hx(static_cast<int>(rng() % 9), 2) + ",";
    return sealed(body);
}

std::string levelsFrame(std::mt19937& rng, int number) {
    std::string body = "%P,01,";
    for (int sec = 0; sec < 3; ++sec) {
        for (int o = 0; o < 8; ++o)
            body += hx(static_cast<int>(rng() % (sec ? 2 : 71)), 2);
        body += ',';
    }
    for (int c = 0; c < 12; ++c)
        body += hx(static_cast<int>(rng() % 71), 2);
    body += "," + std::to_string(number) + ",";
    return sealed(body);
}

std::string fullStateFrame(std::mt19937& rng) {
    auto pairs = [&](int n, int mod) {
        std::string t;
        for (int i = 0; i < n; ++i)
            t += hx(static_cast<int>(rng() % mod), 2);
        return t;
    };
    auto digits = [&](int n, int mod) {
        std::string t;
        for (int i = 0; i < n; ++i)
            t += hx(static_cast<int>(rng() % mod), 1);
        return t;
    };
    auto freqs = [&](int n) {
        std::string t;
        for (int i = 0; i < n; ++i)
            t += hx(20 + static_cast<int>(rng() % 19980), 4) + hx(2 + static_cast<int>(rng() % 7), 2);
        return t;
    };
    std::string peq;
    for (int i = 0; i < 12 * 4; ++i)
        peq += hx(1 + static_cast<int>(rng() % 3), 2) + hx(20 + static_cast<int>(rng() % 19980), 4) +
               pairs(2, 150);
    const std::vector<std::string> sections = {
        pairs(20, 71), digits(20, 2),      digits(16, 2),     pairs(80, 100), digits(8, 2),  pairs(40, 100),
        digits(16, 2), freqs(16),          digits(16, 2),     freqs(16),      digits(12, 2), peq,
        digits(8, 2),  pairs(8 * 31, 151), digits(12 * 8, 2), digits(8, 2),   digits(12, 5), "0000",
        pairs(8, 200), digits(8, 2),       pairs(24, 2),      pairs(6, 30),   pairs(1, 256), pairs(12, 4),
        pairs(4, 100), "MX1208 V3.2"};
    std::string body = "%Z,01,";
    for (const auto& s : sections)
        body += s + ",";
    return sealed(body);
}

// A stretch of live traffic: one full-state answer, then status reports with a levels report
// every tenth; the full-state report arrives cut into 256-byte datagrams.
struct Stream {
    std::vector<std::string> frames;
    std::vector<std::string> datagrams;
    std::size_t bytes = 0;
    Stream() {
        std::mt19937 rng(42);
        const std::string z = fullStateFrame(rng);
        frames.push_back(z);
        for (std::size_t at = 0; at < z.size(); at += 256)
            datagrams.push_back(z.substr(at, 256));
        for (int i = 0; i < 200; ++i) {
            frames.push_back(statusFrame(rng));
            datagrams.push_back(frames.back());
            if (i % 10 == 9) {
                frames.push_back(levelsFrame(rng, i));
                datagrams.push_back(frames.back());
            }
        }
        for (const auto& f : frames)
            bytes += f.size();
    }
};

const Stream& mixed() {
    static const Stream s;
    return s;
}

// Thread CPU time: the machine is shared, and wall time would charge other processes' load
// to whichever side of the ratio happened to run during it.
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double checksumPassSeconds(const Stream& s) {
    unsigned sink = 0;
    int passes = 0;
    const double start = cpuSeconds();
    double now = start;
    do {
        for (const auto& f : s.frames)
            sink += frameChecksum(f);
        ++passes;
        now = cpuSeconds();
    } while (now - start < 0.2);
    benchmark::DoNotOptimize(sink);
    return (now - start) / passes;
}

void BM_ChecksumBound(benchmark::State& state) {
    const Stream& s = mixed();
    for (auto _ : state) {
        unsigned sink = 0;
        for (const auto& f : s.frames)
            sink += frameChecksum(f);
        benchmark::DoNotOptimize(sink);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.bytes));
}
BENCHMARK(BM_ChecksumBound);

void BM_AssembleAndDispatch(benchmark::State& state) {
    const Stream& s = mixed();
    static DeviceState device;
    loadFactoryDefaults(device, 1);
    ReportDispatcher dispatcher(device);
    FrameAssembler assembler;
    const auto now = Clock::now();
    std::size_t frames = 0;
    auto onFrame = [&](std::string_view f) {
        dispatcher.dispatchAccepted(f, now);
        ++frames;
    };
    const double bound = checksumPassSeconds(s);
    const double start = cpuSeconds();
    for (auto _ : state)
        for (const auto& d : s.datagrams)
            assembler.feed(d, onFrame);
    const double perPass = (cpuSeconds() - start) / static_cast<double>(state.iterations());
    if (frames != s.frames.size() * state.iterations()) state.SkipWithError("frames lost");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.bytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(frames));
    state.counters["x_checksum_bound"] = perPass / bound;
}
BENCHMARK(BM_AssembleAndDispatch);

void BM_StatusFrames(benchmark::State& state) {
    std::mt19937 rng(7);
    std::vector<std::string> datagrams;
    for (int i = 0; i < 1000; ++i)
        datagrams.push_back(statusFrame(rng));
    static DeviceState device;
    loadFactoryDefaults(device, 1);
    ReportDispatcher dispatcher(device);
    FrameAssembler assembler;
    const auto now = Clock::now();
    auto onFrame = [&](std::string_view f) { dispatcher.dispatchAccepted(f, now); };
    std::int64_t frames = 0;
    for (auto _ : state)
        for (const auto& d : datagrams)
            frames += assembler.feed(d, onFrame);
    state.SetItemsProcessed(frames);
}
BENCHMARK(BM_StatusFrames);

void BM_FullStateParse(benchmark::State& state) {
    std::mt19937 rng(9);
    const std::string z = fullStateFrame(rng);
    static DeviceState device;
    loadFactoryDefaults(device, 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(parseFullStateReport(z, device));
    state.counters["frame_bytes"] = static_cast<double>(z.size());
}
BENCHMARK(BM_FullStateParse)->Unit(benchmark::kMicrosecond);

} // namespace
