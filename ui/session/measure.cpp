#include "session/measure.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <time.h>
#include <unistd.h>

namespace quorvel::ui::measure {
namespace {

using Steady = std::chrono::steady_clock;

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now().time_since_epoch()).count();
}

bool gEnabled = [] {
    const char* v = std::getenv("QUORVEL_MEASURE");
    return v && std::strcmp(v, "") != 0 && std::strcmp(v, "0") != 0;
}();
std::int64_t gStart = 0;
std::int64_t gFirstPaint = 0;
std::atomic<std::int64_t> gArrival{0};
std::vector<double> gDelaysMs; // UI thread only

} // namespace

bool enabled() {
    return gEnabled;
}
void markProcessStart() {
    gStart = nowNs();
}

// Milliseconds since the kernel started this process (clock-tick resolution), or -1.
static double sinceExecMs() {
    std::FILE* f = std::fopen("/proc/self/stat", "r");
    if (!f) return -1;
    char buf[1024];
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = '\0';
    // Field 22 (starttime) counts from the closing parenthesis of the command name.
    const char* p = std::strrchr(buf, ')');
    if (!p) return -1;
    unsigned long long start = 0;
    int field = 2;
    for (const char* q = p + 1; *q && field < 22; ++q)
        if (*q == ' ') {
            ++field;
            if (field == 22) start = std::strtoull(q + 1, nullptr, 10);
        }
    timespec boot{};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    const double nowMs = boot.tv_sec * 1e3 + boot.tv_nsec / 1e6;
    return nowMs - static_cast<double>(start) * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void markFirstPaint() {
    if (!gEnabled || gFirstPaint) return;
    gFirstPaint = nowNs();
    std::fprintf(stderr, "measure: start-up to first paint %.1f ms from main(), %.0f ms from exec\n",
                 (gFirstPaint - gStart) / 1e6, sinceExecMs());
}

void markReportArrival() {
    if (!gEnabled) return;
    // The newest batch: a report that moved no meter must not be charged to a later repaint.
    gArrival.store(nowNs());
}

void markMeterPainted() {
    if (!gEnabled) return;
    const std::int64_t a = gArrival.exchange(0);
    if (a) gDelaysMs.push_back((nowNs() - a) / 1e6);
}

void printSummary() {
    if (!gEnabled || gDelaysMs.empty()) return;
    std::vector<double> d = gDelaysMs;
    std::sort(d.begin(), d.end());
    auto at = [&](double q) { return d[static_cast<std::size_t>(q * static_cast<double>(d.size() - 1))]; };
    std::fprintf(
        stderr,
        "measure: report-to-meter-repaint over %zu repaints: median %.2f ms, p95 %.2f ms, max %.2f ms\n",
        d.size(), at(0.5), at(0.95), d.back());
}

} // namespace quorvel::ui::measure
