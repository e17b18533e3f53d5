#include "curves/eq_response.h"

#include <algorithm>
#include <cmath>

#include "link/device_state.h"

namespace quorvel::curves {

namespace {

// The device sets its coefficients up with a rounded 2*pi/96000 but evaluates the grid with the
// exact one; keeping both reproduces its curve to the last hundredth of a dB.
constexpr double kSetupOmega = 0.00006544985;
constexpr double kEvalOmega = 0.00006544984694978735;
constexpr double kShelfSlope = 1.05;
constexpr double kLowShelfWarp = 1.2727272727;
constexpr double kHighShelfWarp = 0.76923076923;
// A section whose numerator vanishes (a low-pass at 0 Hz) would give -inf and poison the sum.
constexpr double kFloorDb = -200.0;
constexpr double kCeilDb = 200.0;
// Frequencies outside (0, Nyquist) make sin w0 vanish; the device never stores them, but a
// report could carry anything.
constexpr double kMinFrequency = 1.0;
constexpr double kMaxFrequency = kSampleRate / 2.0 - 1.0;
constexpr double kMinQ = 0.1;

// d = 1/(2Q) of each second-order section; 0 marks the first-order section of odd orders.
constexpr double kFirstOrder = 0.0;
struct Cascade {
    int count;
    std::array<double, 4> d;
};
constexpr std::array<Cascade, 7> kButterworth{{
    {1, {0.70422535, 0, 0, 0}},
    {2, {kFirstOrder, 0.5, 0, 0}},
    {2, {0.92592593, 0.38167939, 0, 0}},
    {3, {kFirstOrder, 0.8064616129, 0.3086417953, 0}},
    {3, {0.96153846, 0.70422535211, 0.2590673575, 0}},
    {4, {kFirstOrder, 0.90909090909, 0.625, 0.2222222222}},
    {4, {0.98039216, 0.83333333, 0.55555556, 0.1953125}},
}};

const Curve kGrid{
    19.71, 20.31, 20.91, 21.51, 22.11, 22.71, 23.41, 24.11, 24.81, 25.5,  26.3,  27,    27.8,  28.7,  29.5,
    30.4,  31.3,  32.2,  33.1,  34.1,  35.1,  36.1,  37.2,  38.3,  39.4,  40.5,  41.7,  42.9,  44.2,  45.5,
    46.8,  48.2,  49.6,  51.1,  52.6,  54.1,  55.7,  57.3,  59,    60.7,  62.5,  64.3,  66.2,  68.2,  70.2,
    72.2,  74.3,  76.5,  78.7,  81.1,  83.4,  85.9,  88.4,  91,    93.6,  96.4,  99.2,  102,   105,   108,
    111,   115,   118,   121,   125,   129,   132,   136,   140,   144,   149,   153,   158,   162,   167,
    172,   179,   182,   187,   193,   198,   204,   210,   216,   223,   229,   236,   243,   250,   257,
    265,   273,   281,   289,   297,   306,   315,   324,   334,   344,   354,   364,   375,   386,   397,
    409,   420,   433,   445,   459,   472,   486,   500,   515,   530,   545,   561,   578,   595,   612,
    630,   648,   667,   687,   707,   728,   749,   771,   794,   817,   841,   866,   891,   917,   944,
    972,   1000,  1030,  1060,  1090,  1123,  1155,  1190,  1224,  1260,  1297,  1335,  1374,  1414,  1456,
    1498,  1542,  1587,  1634,  1682,  1731,  1782,  1834,  1888,  1943,  2000,  2059,  2119,  2181,  2245,
    2311,  2378,  2448,  2520,  2594,  2670,  2748,  2828,  2911,  2997,  3084,  3175,  3268,  3364,  3462,
    3564,  3668,  3776,  3886,  4000,  4117,  4238,  4362,  4490,  4621,  4757,  4896,  5000,  5187,  5339,
    5496,  5657,  5823,  5993,  6169,  6350,  6536,  6727,  6924,  7127,  7336,  7551,  7772,  8000,  8234,
    8476,  8724,  8980,  9243,  9514,  9792,  10079, 10374, 10679, 10992, 11314, 11645, 11987, 12338, 12699,
    13071, 13454, 13849, 14254, 14672, 15102, 15545, 16000, 16469, 16951, 17448, 17959, 18486, 19027, 19585,
    20000};

// Band gains beyond this would overflow 10^(g/40); the device's range is +-15 dB.
constexpr double kMaxGainDb = 60.0;

// cos w and sin^2 w of every grid point, once: evaluation then needs no trigonometry at all.
struct GridTrig {
    std::array<double, kGridPoints> c{};
    std::array<double, kGridPoints> s2{};
    GridTrig() {
        for (int i = 0; i < kGridPoints; ++i) {
            const double w = kEvalOmega * kGrid[static_cast<std::size_t>(i)];
            c[static_cast<std::size_t>(i)] = std::cos(w);
            const double sn = std::sin(w);
            s2[static_cast<std::size_t>(i)] = sn * sn;
        }
    }
};
const GridTrig& gridTrig() {
    static const GridTrig t;
    return t;
}

double safeGain(double g) {
    return std::isfinite(g) ? std::clamp(g, -kMaxGainDb, kMaxGainDb) : 0.0;
}

double finiteDb(double db) {
    if (std::isnan(db)) return 0.0;
    return std::clamp(db, kFloorDb, kCeilDb);
}

double safeFrequency(double f) {
    if (!std::isfinite(f)) return 1000.0;
    return std::clamp(f, kMinFrequency, kMaxFrequency);
}

Biquad normalise(double b0, double b1, double b2, double a0, double a1, double a2) {
    if (a0 == 0.0) a0 = 1e-10;
    return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

Biquad peaking(double f0, double gain, double q) {
    const double a = std::pow(10.0, gain * 0.025);
    const double w0 = kSetupOmega * f0;
    const double sw = std::sin(w0);
    const double alpha = sw * std::sinh(0.69314718 * (1.0 / q) * w0 / sw);
    const double a0 = 1.0 + alpha / a;
    // b1 and a1 share one value; the device divides both by a0.
    const double b1 = -2.0 * std::cos(w0) / a0;
    Biquad s;
    s.b0 = (1.0 + alpha * a) / a0;
    s.b1 = b1;
    s.b2 = (1.0 - alpha * a) / a0;
    s.a1 = b1;
    s.a2 = (1.0 - alpha / a) / a0;
    return s;
}

Biquad shelf(double f, double gain, bool low) {
    const double a = std::pow(10.0, gain * 0.025);
    const double w0 = kSetupOmega * f * (low ? kLowShelfWarp : kHighShelfWarp);
    const double c = std::cos(w0);
    const double beta =
        2.0 * std::sqrt(a) * std::sin(w0) / 2.0 * std::sqrt((a + 1.0 / a) * (1.0 / kShelfSlope - 1.0) + 2.0);
    if (low) {
        return normalise(a * ((a + 1) - (a - 1) * c + beta), 2 * a * ((a - 1) - (a + 1) * c),
                         a * ((a + 1) - (a - 1) * c - beta), (a + 1) + (a - 1) * c + beta,
                         -2 * ((a - 1) + (a + 1) * c), (a + 1) + (a - 1) * c - beta);
    }
    return normalise(a * ((a + 1) + (a - 1) * c + beta), -2 * a * ((a - 1) + (a + 1) * c),
                     a * ((a + 1) + (a - 1) * c - beta), (a + 1) - (a - 1) * c + beta,
                     2 * ((a - 1) - (a + 1) * c), (a + 1) - (a - 1) * c - beta);
}

Biquad passSection(double d, double f, bool lowPass) {
    const double w0 = kSetupOmega * f;
    const double c = std::cos(w0);
    if (d == kFirstOrder) {
        const double t = std::tan(w0 / 2.0);
        return lowPass ? normalise(t, t, 0, t + 1, t - 1, 0) : normalise(1, -1, 0, t + 1, t - 1, 0);
    }
    const double alpha = d * std::sin(w0);
    if (lowPass) return normalise((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
    return normalise((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

} // namespace

const Curve& frequencyGrid() {
    return kGrid;
}

int nearestGridIndex(double f) {
    const auto it = std::lower_bound(kGrid.begin(), kGrid.end(), f);
    if (it == kGrid.end()) return kGridPoints - 1;
    const int i = static_cast<int>(it - kGrid.begin());
    if (i > 0 && f - kGrid[i - 1] < *it - f) return i - 1;
    return i;
}

double sectionDb(const Biquad& s, double frequency) {
    const double w = kEvalOmega * frequency;
    const double c = std::cos(w);
    const double sn = std::sin(w);
    const double nr = s.b1 + (s.b0 + s.b2) * c;
    const double ni = (s.b0 - s.b2) * sn;
    const double dr = s.a1 + (1.0 + s.a2) * c;
    const double di = (1.0 - s.a2) * sn;
    return finiteDb(20.0 * std::log10(std::sqrt((nr * nr + ni * ni) / (dr * dr + di * di))));
}

std::vector<Biquad> bandSections(const EqBand& band) {
    const double gain = safeGain(band.gain);
    switch (band.kind) {
    case BandKind::Parametric:
        switch (band.shape) {
        case BandShape::LowShelf:
            return {shelf(safeFrequency(band.frequency), gain, true)};
        case BandShape::HighShelf:
            return {shelf(safeFrequency(band.frequency), gain, false)};
        case BandShape::Peaking:
            break;
        }
        {
            // Peaking bands snap to the grid so their summit lands exactly on a drawn point.
            const double f0 = kGrid[nearestGridIndex(band.frequency)];
            const double q = std::isfinite(band.width) && band.width >= kMinQ ? band.width : kMinQ;
            return {peaking(f0, gain, q)};
        }
    case BandKind::HighPass:
    case BandKind::LowPass: {
        if (!band.enabled) return {};
        const double w = std::isfinite(band.width) ? std::clamp(band.width, 0.0, 6.0) : 0.0;
        const Cascade& cascade = kButterworth[static_cast<std::size_t>(w)];
        const double f = safeFrequency(band.frequency);
        std::vector<Biquad> out;
        for (int i = 0; i < cascade.count; ++i)
            out.push_back(passSection(cascade.d[i], f, band.kind == BandKind::LowPass));
        return out;
    }
    }
    return {};
}

Curve directBandResponse(const EqBand& band) {
    Curve out{};
    for (const Biquad& s : bandSections(band))
        for (int i = 0; i < kGridPoints; ++i)
            out[i] += sectionDb(s, kGrid[i]);
    return out;
}

Curve bandResponse(const EqBand& band) {
    Curve out{};
    const std::vector<Biquad> sections = bandSections(band);
    if (sections.empty()) return out;
    // |N|^2 = (b1 + (b0 + b2) c)^2 + (b0 - b2)^2 s^2, the same for the denominator; the sections'
    // ratios multiply, so one logarithm per point serves the whole cascade. A single section whose
    // ratio under- or overflows is still caught by the clamp of each section's share.
    const GridTrig& t = gridTrig();
    std::array<double, kGridPoints> ratio;
    ratio.fill(1.0);
    bool exact = true;
    for (const Biquad& s : sections) {
        const double nb = s.b0 + s.b2, nd = s.b0 - s.b2, db = 1.0 + s.a2, dd = 1.0 - s.a2;
        for (int i = 0; i < kGridPoints; ++i) {
            const double c = t.c[static_cast<std::size_t>(i)], s2 = t.s2[static_cast<std::size_t>(i)];
            const double nr = s.b1 + nb * c, dr = s.a1 + db * c;
            ratio[static_cast<std::size_t>(i)] *= (nr * nr + nd * nd * s2) / (dr * dr + dd * dd * s2);
        }
    }
    for (int i = 0; i < kGridPoints; ++i) {
        const double r = ratio[static_cast<std::size_t>(i)];
        if (!(r > 1e-20 && r < 1e20)) {
            exact = false;
            break;
        }
        out[static_cast<std::size_t>(i)] = 10.0 * std::log10(r);
    }
    // A ratio at the edge of the range (a filter far into its stop band) is summed section by
    // section instead, each share clamped as the device's own display does.
    if (!exact) return directBandResponse(band);
    return out;
}

Curve totalResponse(std::span<const EqBand> bands, std::vector<Curve>* perBand) {
    Curve total{};
    if (perBand) perBand->clear();
    for (const EqBand& b : bands) {
        const Curve c = bandResponse(b);
        for (int i = 0; i < kGridPoints; ++i)
            total[i] += c[i];
        if (perBand) perBand->push_back(c);
    }
    return total;
}

namespace {
bool sameBand(const EqBand& a, const EqBand& b) {
    return a.kind == b.kind && a.shape == b.shape && a.frequency == b.frequency && a.gain == b.gain &&
           a.width == b.width && a.enabled == b.enabled;
}
} // namespace

const Curve& ResponseCache::update(std::span<const EqBand> bands) {
    recomputed_ = 0;
    curves_.resize(bands.size());
    if (bands_.size() != bands.size()) bands_.assign(bands.size(), EqBand{BandKind(0)});
    for (std::size_t i = 0; i < bands.size(); ++i) {
        if (sameBand(bands_[i], bands[i])) continue;
        bands_[i] = bands[i];
        curves_[i] = bandResponse(bands[i]);
        ++recomputed_;
    }
    total_.fill(0.0);
    for (const Curve& c : curves_)
        for (int p = 0; p < kGridPoints; ++p)
            total_[static_cast<std::size_t>(p)] += c[static_cast<std::size_t>(p)];
    return total_;
}

std::vector<EqBand> channelBands(const InputChannel& ch, bool withFilters) {
    std::vector<EqBand> bands;
    for (int k = 0; k < kPeqBands; ++k) {
        const PeqBand& p = ch.peq[k];
        EqBand b;
        b.frequency = p.bandFreq;
        b.gain = (p.bandGain - 150) * 0.1;
        b.width = p.bandQ * 0.1;
        b.shape = p.bandType == 1   ? BandShape::LowShelf
                  : p.bandType == 2 ? BandShape::HighShelf
                                    : BandShape::Peaking;
        bands.push_back(b);
    }
    if (withFilters) {
        bands.push_back({BandKind::HighPass, BandShape::Peaking, double(ch.hpfFreq), 0.0,
                         double(ch.hpfSlope - 2), ch.hpfOn != 0});
        bands.push_back({BandKind::LowPass, BandShape::Peaking, double(ch.lpfFreq), 0.0,
                         double(ch.lpfSlope - 2), ch.lpfOn != 0});
    }
    return bands;
}

} // namespace quorvel::curves
