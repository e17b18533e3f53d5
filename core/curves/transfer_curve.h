// Static transfer curves of the dynamics pages (output level over input level, in dB): the
// noise gate's step and the compressor's three slopes, cut to the visible axis box.
#pragma once

#include <array>
#include <optional>
#include <vector>

namespace quorvel::curves {

struct DbPoint {
    double x = 0; // input dB
    double y = 0; // output dB
};

struct DbSegment {
    DbPoint a, b;
};

struct AxisBox {
    double xmin = -60, xmax = 0, ymin = -60, ymax = 0;
};

// Below the threshold the input lowered by `range` (never under -60 dB), a jump to unity at the
// threshold, unity up to 0 dB.
std::array<DbPoint, 4> gatePolyline(double threshold, double range);

// Slope s1 below knee1 (meeting the middle line at knee1), y = s2 * x between the knees, slope
// s3 above knee2; each piece cut to the box. Pieces that miss the box are left out.
std::vector<DbSegment> compressorSegments(double knee1, double knee2, double s1, double s2, double s3,
                                          const AxisBox& box);

// Liang-Barsky cut of a segment to the box; nothing when it lies outside.
std::optional<DbSegment> clipToBox(DbSegment s, const AxisBox& box);

} // namespace quorvel::curves
