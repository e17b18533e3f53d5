// Static transfer curves of the dynamics pages (output level over input level, in dB): the
// noise gate's step and the compressor's three slopes, cut to the visible axis box.
#pragma once

#include <array>
#include <optional>
#include <string>
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

// ---- what the dynamics pages hand the view ----

// The view's transfer modes: 2 compressor and limiter, 3 noise gate, 4 the compressor curve with
// "%d (dB)" labels (the limiter page).
inline constexpr int kCompressorMode = 2;
inline constexpr int kGateMode = 3;
inline constexpr int kLimiterMode = 4;

// An axis label of a transfer plot.
std::string transferAxisLabel(int mode, int value);

// The point inside the box nearest to p; a coordinate that is not a number goes to the box's
// lower edge.
DbPoint clampToBox(DbPoint p, const AxisBox& box);

// Input and output dB under a pixel of the plot (the inverse of linearToX / linearToY, not
// clamped).
double xToLinear(double x, double vmin, double vmax, int left, int right);
double yToLinear(double y, double vmin, double vmax, int top, int bottom);

// A compressor-style block as the view draws it: unity below the threshold, slope 1/R above it,
// without an output offset; the make-up gain shows only as handle 2 at height G - 60. Handles in
// the order the drags number them, each kept inside the box. A ratio below 1 (or not a number) is
// drawn as 1:1.0.
struct CompressorPicture {
    double knee1 = 0, knee2 = 0;
    double s1 = 1, s2 = 1, s3 = 1;
    std::array<DbPoint, 3> handles{}; // threshold, ratio (at 0 dB input), gain
};
CompressorPicture compressorPicture(double thresholdDb, double ratio, double gainDb, const AxisBox& box);

// The static curve's output for an input level (no make-up gain, as drawn).
double compressorOutput(double inputDb, double thresholdDb, double ratio);

// The gate: the threshold point and the range point below it (not under the box's floor).
std::array<DbPoint, 2> gateHandles(double thresholdDb, double rangeDb, const AxisBox& box);

// The live operating point drawn over a curve: a vertical from the floor up to the point and a
// horizontal across to the output axis, inside the box.
std::vector<DbPoint> operatingPointMarks(double inputDb, double outputDb, const AxisBox& box);

} // namespace quorvel::curves
