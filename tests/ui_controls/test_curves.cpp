#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "curves/eq_response.h"
#include "curves/plot_mapping.h"
#include "curves/transfer_curve.h"
#include "link/device_state.h"

using namespace quorvel;
using namespace quorvel::curves;

namespace {

EqBand peak(double f, double gain, double q) {
    return {BandKind::Parametric, BandShape::Peaking, f, gain, q, true};
}
EqBand shelf(BandShape s, double f, double gain) {
    return {BandKind::Parametric, s, f, gain, 1.0, true};
}
EqBand pass(BandKind k, double f, int slope, bool on = true) {
    return {k, BandShape::Peaking, f, 0.0, double(slope), on};
}

double dbAt(const Curve& c, double f) {
    return c[nearestGridIndex(f)];
}

} // namespace

TEST(FrequencyGrid, LandmarksAndNearestIndex) {
    const Curve& g = frequencyGrid();
    EXPECT_DOUBLE_EQ(g[0], 19.71);
    EXPECT_DOUBLE_EQ(g[kGridIndex1k], 1000.0);
    EXPECT_DOUBLE_EQ(g[160], 2000.0);
    EXPECT_DOUBLE_EQ(g[240], 20000.0);
    for (int i = 1; i < kGridPoints; ++i)
        EXPECT_LT(g[i - 1], g[i]) << i;

    EXPECT_EQ(nearestGridIndex(1000), 136);
    EXPECT_EQ(nearestGridIndex(1010), 136); // 1000 is closer than 1030
    EXPECT_EQ(nearestGridIndex(1020), 137); // 1030 is closer than 1000
    EXPECT_EQ(nearestGridIndex(1015), 137); // a tie goes to the upper value
    EXPECT_EQ(nearestGridIndex(5), 0);
    EXPECT_EQ(nearestGridIndex(25000), 240);
}

TEST(EqResponse, FlatBandsGiveZero) {
    // A stored gain of 150 is 0 dB: every parametric shape is flat, and so is a switched-off filter.
    for (BandShape s : {BandShape::Peaking, BandShape::LowShelf, BandShape::HighShelf}) {
        EqBand b = shelf(s, 700, 0.0);
        for (double v : bandResponse(b))
            ASSERT_EQ(v, 0.0);
    }
    for (double v : bandResponse(pass(BandKind::HighPass, 200, 6, false)))
        ASSERT_EQ(v, 0.0);

    InputChannel ch{};
    for (int k = 0; k < kPeqBands; ++k)
        ch.peq[k] = {1000, 150, 20, 0, 0, 0};
    ch.hpfFreq = 20;
    ch.hpfSlope = 2;
    ch.lpfFreq = 20000;
    ch.lpfSlope = 2;
    const auto bands = channelBands(ch, true);
    ASSERT_EQ(bands.size(), 6u);
    for (double v : totalResponse(bands))
        ASSERT_NEAR(v, 0.0, 1e-9);
}

TEST(EqResponse, PeakingBandSummitAndSymmetry) {
    const Curve c = bandResponse(peak(1000, 6.0, 2.0));
    EXPECT_NEAR(c[136], 6.0, 0.01);
    for (int i = 0; i < kGridPoints; ++i)
        EXPECT_LE(c[i], c[136] + 1e-9);
    // Symmetric on the log axis: one decade each side reads the same.
    EXPECT_NEAR(c[136 - 40], c[136 + 40], 0.05);
    EXPECT_LT(c[136 + 40], 1.0);

    const Curve full = bandResponse(peak(3000, 15.0, 2.0));
    EXPECT_NEAR(dbAt(full, 3000), 15.0, 0.05);
    const Curve cut = bandResponse(peak(300, -15.0, 2.0));
    EXPECT_NEAR(dbAt(cut, 300), -15.0, 0.05);

    // The summit snaps to the grid; 1010 Hz is drawn as 1000 Hz.
    const Curve snapped = bandResponse(peak(1010, 6.0, 2.0));
    for (int i = 0; i < kGridPoints; ++i)
        EXPECT_DOUBLE_EQ(snapped[i], c[i]);
}

TEST(EqResponse, ShelvesAndFiltersUseTheirOwnFrequency) {
    const Curve low = bandResponse(shelf(BandShape::LowShelf, 200, 10.0));
    EXPECT_NEAR(low[0], 10.0, 0.3);
    EXPECT_NEAR(low[240], 0.0, 0.1);
    const Curve high = bandResponse(shelf(BandShape::HighShelf, 5000, -8.0));
    EXPECT_NEAR(high[240], -8.0, 0.5);
    EXPECT_NEAR(high[0], 0.0, 0.1);

    // Unlike a peaking band, a shelf at 1010 Hz differs from one at 1000 Hz.
    const Curve a = bandResponse(shelf(BandShape::LowShelf, 1000, 6.0));
    const Curve b = bandResponse(shelf(BandShape::LowShelf, 1010, 6.0));
    EXPECT_NE(a[136], b[136]);
}

TEST(EqResponse, PassFilterSlopes) {
    // 24 dB/oct low-pass at 1 kHz: about -3 dB at the corner, about 24 dB less an octave later.
    const Curve lp = bandResponse(pass(BandKind::LowPass, 1000, 2));
    EXPECT_NEAR(lp[136], -3.0, 0.3);
    EXPECT_NEAR(lp[160] - lp[184], 24.0, 2.0); // 2 kHz vs 4 kHz
    EXPECT_NEAR(lp[40], 0.0, 0.01);

    // High-pass slopes grow by 6 dB/oct per slope index, from 12 to 48.
    for (int slope = 0; slope <= 6; ++slope) {
        const Curve hp = bandResponse(pass(BandKind::HighPass, 1000, slope));
        EXPECT_NEAR(hp[136], -3.0, 0.4) << slope;
        const double perOctave = hp[88] - hp[64]; // 250 Hz vs 125 Hz, well below the corner
        EXPECT_NEAR(perOctave, 12.0 + 6.0 * slope, 1.5) << slope;
        EXPECT_NEAR(hp[240], 0.0, 0.05) << slope;
    }
}

TEST(EqResponse, HostileValuesStayFinite) {
    // Whatever a report carries, the curve must stay drawable.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const EqBand bad[] = {
        peak(1000, 6.0, 0.0),
        peak(0, 6.0, 2.0),
        peak(nan, nan, nan),
        shelf(BandShape::LowShelf, 0, 12),
        shelf(BandShape::HighShelf, 1e9, -12),
        pass(BandKind::LowPass, 0, 2),
        pass(BandKind::HighPass, 60000, 9),
        pass(BandKind::LowPass, 1000, -4),
    };
    for (const EqBand& b : bad)
        for (double v : bandResponse(b))
            ASSERT_TRUE(std::isfinite(v));
}

TEST(PlotMapping, GeometryAndAxes) {
    const PlotRect r = plotRect(400, 200, true);
    EXPECT_EQ(r.left, 20);
    EXPECT_EQ(r.right, 380);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.bottom, 180);
    const PlotRect bare = plotRect(100, 60, false);
    EXPECT_EQ(bare.left, 0);
    EXPECT_EQ(bare.bottom, 60);

    EXPECT_DOUBLE_EQ(frequencyToX(20, 20, 20000, r), 20);
    EXPECT_DOUBLE_EQ(frequencyToX(20000, 20, 20000, r), 380);
    EXPECT_NEAR(frequencyToX(632.456, 20, 20000, r), 200, 0.01); // geometric middle
    for (double f : {20.0, 55.5, 1000.0, 19999.0})
        EXPECT_NEAR(xToFrequency(frequencyToX(f, 20, 20000, r), 20, 20000, r), f, f * 1e-9);
    EXPECT_DOUBLE_EQ(xToFrequency(-50, 20, 20000, r), 20);

    EXPECT_DOUBLE_EQ(levelToY(0, -15, 15, r), 95);
    EXPECT_DOUBLE_EQ(levelToY(15, -15, 15, r), 10);
    // Beyond the range the curve runs along the edge instead of leaving the plot.
    EXPECT_DOUBLE_EQ(levelToY(40, -15, 15, r), 10);
    EXPECT_DOUBLE_EQ(levelToY(-90, -15, 15, r), 180);
    EXPECT_DOUBLE_EQ(yToLevel(95, -15, 15, r), 0);
    EXPECT_DOUBLE_EQ(yToLevel(0, -15, 15, r), 15);
}

TEST(TransferCurve, GateStepsUpAtTheThreshold) {
    const auto g = quorvel::curves::gatePolyline(-40, 10);
    EXPECT_DOUBLE_EQ(g[0].x, -50); // R - 60
    EXPECT_DOUBLE_EQ(g[0].y, -60);
    EXPECT_DOUBLE_EQ(g[1].x, -40);
    EXPECT_DOUBLE_EQ(g[1].y, -50);
    EXPECT_DOUBLE_EQ(g[2].y, -40);
    EXPECT_DOUBLE_EQ(g[3].x, 0);
    // A range deeper than the floor never goes below -60 dB, and starts at the threshold
    // when R - 60 lies above it.
    const auto deep = quorvel::curves::gatePolyline(-30, 50);
    EXPECT_DOUBLE_EQ(deep[0].x, -30);
    EXPECT_DOUBLE_EQ(deep[1].y, -60);
}

TEST(TransferCurve, CompressorPiecesMeetAndStayInTheBox) {
    using namespace quorvel::curves;
    const AxisBox box{-60, 0, -60, 0};
    // Unity below -40, 1:4 above -20 (a hard knee between expressed by s2 = 1).
    const auto segs = compressorSegments(-40, -20, 1.0, 1.0, 0.25, box);
    ASSERT_EQ(segs.size(), 3u);
    EXPECT_DOUBLE_EQ(segs[0].a.x, -60);
    EXPECT_DOUBLE_EQ(segs[0].b.x, -40);
    EXPECT_DOUBLE_EQ(segs[1].a.y, -40);
    EXPECT_DOUBLE_EQ(segs[2].a.x, -20);
    EXPECT_DOUBLE_EQ(segs[2].b.x, 0);
    EXPECT_DOUBLE_EQ(segs[2].b.y, -15);
    // A steep expander below the first knee is cut where it leaves the bottom of the box.
    const auto exp = compressorSegments(-40, -20, 3.0, 1.0, 1.0, box);
    EXPECT_DOUBLE_EQ(exp[0].a.y, -60);
    EXPECT_NEAR(exp[0].a.x, -46.6667, 1e-3);
    for (const auto& s : exp)
        for (const DbPoint& p : {s.a, s.b}) {
            EXPECT_GE(p.x, box.xmin - 1e-9);
            EXPECT_LE(p.y, box.ymax + 1e-9);
        }
    // The defaults (knees -100 and -50) still give a drawable line inside the box.
    EXPECT_FALSE(compressorSegments(-100, -50, 1, 1, 1, box).empty());
    EXPECT_FALSE(clipToBox({{-100, 10}, {-80, 20}}, box).has_value());
}

TEST(PlotMapping, GraphicEqualiserBands) {
    const PlotRect r{0, 0, 320, 100}; // 10 px per unit from 0 to 32
    EXPECT_DOUBLE_EQ(geqBandX(0, r), 10);
    EXPECT_DOUBLE_EQ(geqBandX(30, r), 310);
    EXPECT_EQ(geqBandAt(10, r), 0);
    EXPECT_EQ(geqBandAt(14.9, r), 0);
    EXPECT_EQ(geqBandAt(15.1, r), 1);
    EXPECT_EQ(geqBandAt(-40, r), 0);
    EXPECT_EQ(geqBandAt(900, r), 30);
    EXPECT_EQ(kGeqLabels[17], std::string_view("1k"));
    EXPECT_DOUBLE_EQ(kGeqFrequencies[17], 1000);

    double y = 0;
    EXPECT_TRUE(interpolateSweep(15, 10, 0, 20, 10, &y));
    EXPECT_DOUBLE_EQ(y, 5);
    EXPECT_TRUE(interpolateSweep(15, 20, 10, 10, 0, &y)); // a sweep from right to left
    EXPECT_DOUBLE_EQ(y, 5);
    EXPECT_FALSE(interpolateSweep(25, 10, 0, 20, 10, &y));
    EXPECT_TRUE(interpolateSweep(10, 10, 3, 10, 7, &y)); // a vertical stroke takes its end
    EXPECT_DOUBLE_EQ(y, 7);
}

TEST(FrequencyGrid, TableIsUsedAsWrittenNotRecomputed) {
    const Curve& g = frequencyGrid();
    // 20 x 10^(i/80) would give 178.3 and 4870.
    EXPECT_DOUBLE_EQ(g[76], 179.0);
    EXPECT_DOUBLE_EQ(g[192], 5000.0);
    EXPECT_DOUBLE_EQ(g[9], 25.5);
    EXPECT_DOUBLE_EQ(g[239], 19585.0);
}

TEST(EqResponse, ClosedForms) {
    // A peak's centre reads its gain, whatever its width.
    for (double q : {0.3, 2.0, 15.0})
        for (double gain : {-15.0, -3.5, 9.0})
            EXPECT_NEAR(dbAt(bandResponse(peak(2000, gain, q)), 2000), gain, 0.01) << q << " " << gain;
    // A second-order pass section at its corner has |H| = Q = 1/(2d): the 12 dB/oct filter at a
    // grid frequency reads 20 log10(1 / (2 x 0.70422535)).
    for (BandKind k : {BandKind::HighPass, BandKind::LowPass}) {
        const Curve c = bandResponse(pass(k, 1000, 0));
        EXPECT_NEAR(c[kGridIndex1k], 20.0 * std::log10(1.0 / (2.0 * 0.70422535)), 0.01);
    }
    // A cascade is the sum of its sections: 48 dB/oct at its corner.
    double want = 0;
    for (double d : {0.98039216, 0.83333333, 0.55555556, 0.1953125})
        want += 20.0 * std::log10(1.0 / (2.0 * d));
    EXPECT_NEAR(bandResponse(pass(BandKind::LowPass, 2000, 6))[160], want, 0.02);
}

TEST(EqResponse, FastPathMatchesTheDirectReading) {
    const EqBand bands[] = {
        peak(63, 12, 0.4),
        peak(5000, -15, 20),
        shelf(BandShape::LowShelf, 150, 9),
        shelf(BandShape::HighShelf, 8000, -6),
        pass(BandKind::HighPass, 80, 6),
        pass(BandKind::LowPass, 3000, 5),
        pass(BandKind::HighPass, 19000, 6),
        pass(BandKind::LowPass, 20, 6),
    };
    for (const EqBand& b : bands) {
        const Curve fast = bandResponse(b), slow = directBandResponse(b);
        for (int i = 0; i < kGridPoints; ++i)
            ASSERT_NEAR(fast[i], slow[i], 1e-6) << i;
    }
}

TEST(EqResponse, CacheRecomputesOnlyWhatChanged) {
    std::vector<EqBand> bands = {peak(200, 3, 2),
                                 peak(500, -2, 2),
                                 peak(1000, 0, 2),
                                 peak(5000, 4, 2),
                                 pass(BandKind::HighPass, 60, 6),
                                 pass(BandKind::LowPass, 12000, 6)};
    ResponseCache cache;
    cache.update(bands);
    EXPECT_EQ(cache.recomputedLastTime(), 6);
    bands[1].gain = 7;
    const Curve total = cache.update(bands);
    EXPECT_EQ(cache.recomputedLastTime(), 1);
    const Curve want = totalResponse(bands);
    for (int i = 0; i < kGridPoints; ++i)
        ASSERT_NEAR(total[i], want[i], 1e-9);
    // An infinite gain or a zero Q stays finite in the cache as well.
    bands[2].gain = std::numeric_limits<double>::infinity();
    bands[3].width = 0;
    for (double v : cache.update(bands))
        ASSERT_TRUE(std::isfinite(v));
}
