#include "curves/transfer_curve.h"

#include <algorithm>
#include <cmath>

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

} // namespace quorvel::curves
