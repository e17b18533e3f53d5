// Firmware throughput against the simulator on 127.0.0.2 with the device's own waits: one image
// of 256 KiB (the size can be given as the first argument, in KiB). Prints the wall time, the
// time per block against the floor of the waits (8 x 20 ms between the pieces, 50 ms before the
// reply is read, 20 ms after it: 230 ms) and the throughput against its 4.45 kB/s.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "admin/firmware_update.h"
#include "simulator.h"

int main(int argc, char** argv) {
    using namespace quorvel;
    const std::size_t kib = argc > 1 ? static_cast<std::size_t>(std::strtoul(argv[1], nullptr, 10)) : 256;
    sim::SimOptions o;
    o.bind = "127.0.0.2";
    o.port = 0; // whatever is free; the updater takes the same number on 127.0.0.1
    o.meterHz = 0;
    sim::Simulator device(o);
    std::string error;
    if (!device.start(error)) {
        std::fprintf(stderr, "bench_firmware: %s\n", error.c_str());
        return 1;
    }
    std::vector<std::uint8_t> file(kib * 1024);
    std::mt19937 rng(1);
    for (auto& b : file)
        b = static_cast<std::uint8_t>(rng());
    auto plan = firmware::planImage(file, error);
    if (!plan) return 1;

    firmware::UpdateSettings s;
    s.host = "127.0.0.2";
    s.port = device.boundPort();
    firmware::FirmwareUpdater up(s);
    if (!up.open(error)) {
        std::fprintf(stderr, "bench_firmware: %s\n", error.c_str());
        return 1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = up.sendImage(*plan, firmware::kTargetDigital, error);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const std::size_t blocks = plan->blocks.size();
    const double perBlock = seconds * 1000.0 / static_cast<double>(blocks);
    const double rate = static_cast<double>(file.size()) / seconds / 1000.0;
    const double floorRate = 1024.0 / 0.230 / 1000.0;
    std::printf("firmware image %zu KiB, %zu blocks: %s in %.2f s (%llu sent again)\n", kib, blocks,
                ok ? "stored" : error.c_str(), seconds, static_cast<unsigned long long>(up.resentBlocks()));
    std::printf("  per block %.1f ms (floor 230.0 ms, %+.1f %%)\n", perBlock, (perBlock / 230.0 - 1) * 100);
    std::printf("  throughput %.3f kB/s (floor %.3f kB/s, %+.1f %%)\n", rate, floorRate,
                (rate / floorRate - 1) * 100);
    return ok ? 0 : 1;
}
