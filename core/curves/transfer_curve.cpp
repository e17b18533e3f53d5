#include "curves/transfer_curve.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quorvel::curves {

namespace {
constexpr double kFloor = -60.0;
} // namespace

std::array<DbPoint, 4> gatePolyline(double threshold, double range) {
    const double x0 = range - 60.0 > threshold ? threshold : range - 60.0;
    return {
        {{x0, kFloor}, {threshold, std::max(threshold - range, kFloor)}, {threshold, threshold}, {0.0, 0.0}}};
}

std::optional<DbSegment> clipToBox(DbSegment s, const AxisBox& box) {
    const double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y;
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {s.a.x - box.xmin, box.xmax - s.a.x, s.a.y - box.ymin, box.ymax - s.a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1) return std::nullopt;
    }
    if (!std::isfinite(t0) || !std::isfinite(t1)) return std::nullopt;
    return DbSegment{{s.a.x + t0 * dx, s.a.y + t0 * dy}, {s.a.x + t1 * dx, s.a.y + t1 * dy}};
}

std::vector<DbSegment> compressorSegments(double knee1, double knee2, double s1, double s2, double s3,
                                          const AxisBox& box) {
    std::vector<DbSegment> out;
    auto add = [&](DbSegment s) {
        if (s.b.x < s.a.x) return; // knees given in the wrong order leave that piece out
        if (auto c = clipToBox(s, box)) out.push_back(*c);
    };
    const DbPoint k1{knee1, s2 * knee1};
    const DbPoint k2{knee2, s2 * knee2};
    const double left = std::min(box.xmin, knee1);
    const double right = std::max(box.xmax, knee2);
    add({{left, k1.y + s1 * (left - knee1)}, k1});
    add({k1, k2});
    add({k2, {right, k2.y + s3 * (right - knee2)}});
    return out;
}

std::string transferAxisLabel(int mode, int value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, mode == kLimiterMode ? "%d (dB)" : "%d", value);
    return buf;
}

DbPoint clampToBox(DbPoint p, const AxisBox& box) {
    auto one = [](double v, double lo, double hi) { return std::isnan(v) ? lo : std::clamp(v, lo, hi); };
    return {one(p.x, box.xmin, box.xmax), one(p.y, box.ymin, box.ymax)};
}

double xToLinear(double x, double vmin, double vmax, int left, int right) {
    if (right == left) return vmin;
    return vmin + (x - left) / double(right - left) * (vmax - vmin);
}

double yToLinear(double y, double vmin, double vmax, int top, int bottom) {
    if (bottom == top) return vmin;
    return vmin + (bottom - y) / double(bottom - top) * (vmax - vmin);
}

namespace {
double safeRatio(double ratio) {
    return std::isfinite(ratio) && ratio >= 1.0 ? ratio : 1.0;
}
} // namespace

double compressorOutput(double inputDb, double thresholdDb, double ratio) {
    if (inputDb <= thresholdDb) return inputDb;
    return thresholdDb + (inputDb - thresholdDb) / safeRatio(ratio);
}

CompressorPicture compressorPicture(double thresholdDb, double ratio, double gainDb, const AxisBox& box) {
    const double r = safeRatio(ratio);
    const double t = std::isfinite(thresholdDb) ? thresholdDb : box.xmin;
    const double g = std::isfinite(gainDb) ? gainDb : 0.0;
    CompressorPicture p;
    p.knee1 = t;
    p.knee2 = t;
    p.s1 = 1.0;
    p.s2 = 1.0;
    p.s3 = 1.0 / r;
    // The gain handle sits one grid step in from the input axis so that it never hides under it.
    const double gainX = box.xmin + (box.xmax - box.xmin) / 8.0;
    p.handles = {clampToBox({t, t}, box), clampToBox({0.0, compressorOutput(0.0, t, r)}, box),
                 clampToBox({gainX, g - 60.0}, box)};
    return p;
}

std::array<DbPoint, 2> gateHandles(double thresholdDb, double rangeDb, const AxisBox& box) {
    const double t = std::isfinite(thresholdDb) ? thresholdDb : box.xmin;
    const double r = std::isfinite(rangeDb) ? rangeDb : 0.0;
    return {clampToBox({t, t}, box), clampToBox({t, std::max(t - r, kFloor)}, box)};
}

std::vector<DbPoint> operatingPointMarks(double inputDb, double outputDb, const AxisBox& box) {
    const DbPoint p = clampToBox({inputDb, outputDb}, box);
    return {{p.x, box.ymin}, p, {box.xmin, p.y}};
}

} // namespace quorvel::curves
