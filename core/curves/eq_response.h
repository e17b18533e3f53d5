// Magnitude response of the channel equaliser as the device computes it: four peaking/shelving
// bands plus the high- and low-pass Butterworth cascades, evaluated on a fixed 241-point
// logarithmic grid at 96 kHz and summed in dB.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

namespace quorvel {
struct InputChannel;
}

namespace quorvel::curves {

inline constexpr int kGridPoints = 241;
inline constexpr int kGridIndex1k = 136;
inline constexpr double kSampleRate = 96000.0;

using Curve = std::array<double, kGridPoints>;

// 19.71 Hz .. 20 kHz, about 1/80 decade apart.
const Curve& frequencyGrid();

// First grid index whose value is at least f, or the one before it when that is strictly closer.
int nearestGridIndex(double f);

enum class BandKind { Parametric = 1, HighPass = 2, LowPass = 3 };
enum class BandShape { Peaking = 0, LowShelf = 1, HighShelf = 2 };

struct EqBand {
    BandKind kind = BandKind::Parametric;
    BandShape shape = BandShape::Peaking;
    double frequency = 1000.0; // Hz
    double gain = 0.0;         // dB, parametric bands only
    double width = 1.0;        // Q for peaking bands, slope index 0..6 for the pass filters
    bool enabled = true;       // a disabled pass filter contributes 0 dB
};

// Normalised second-order section (a0 == 1).
struct Biquad {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
};

double sectionDb(const Biquad& s, double frequency);

// The sections that make up one band (one for parametric bands, up to four for the filters).
std::vector<Biquad> bandSections(const EqBand& band);

Curve bandResponse(const EqBand& band);

// Sum of every band's response; perBand (if given) receives each band's own curve in order.
Curve totalResponse(std::span<const EqBand> bands, std::vector<Curve>* perBand = nullptr);

// The same response computed the slow way, one cosine, sine and logarithm per section and point;
// kept to measure the fast path against and to check it.
Curve directBandResponse(const EqBand& band);

// Keeps each band's curve and recomputes only the bands whose parameters changed: a handle drag
// moves one band, and the other five need not be evaluated again.
class ResponseCache {
public:
    // Returns the total; bandCurve(i) holds band i's own curve afterwards.
    const Curve& update(std::span<const EqBand> bands);
    const Curve& total() const { return total_; }
    const Curve& bandCurve(std::size_t i) const { return curves_.at(i); }
    const std::vector<Curve>& bandCurves() const { return curves_; }
    int recomputedLastTime() const { return recomputed_; }

private:
    std::vector<EqBand> bands_;
    std::vector<Curve> curves_;
    Curve total_{};
    int recomputed_ = 0;
};

// Nearest grid index of a frequency as the nearest table entry (for the handles' snapping).
inline double gridFrequency(int index) {
    return frequencyGrid()[static_cast<std::size_t>(index < 0              ? 0
                                                    : index >= kGridPoints ? kGridPoints - 1
                                                                           : index)];
}

// The bands of an input channel as its pages draw them: bands 1-4 and, when withFilters, the
// HPF and LPF with slope index = stored slope code - 2.
std::vector<EqBand> channelBands(const InputChannel& ch, bool withFilters);

} // namespace quorvel::curves
