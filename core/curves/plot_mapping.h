// Pixel geometry of the response graph: where the plot sits in the control, and the
// logarithmic frequency axis and clamped level axis that map between values and pixels.
#pragma once

#include <array>

namespace quorvel::curves {

struct PlotRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// With axes the plot leaves room for the labels (1/20 left, right and top, 1/10 at the bottom).
PlotRect plotRect(int width, int height, bool axesShown);

// x of frequency f on a log axis from fmin to fmax; the caller skips frequencies outside it.
double frequencyToX(double f, double fmin, double fmax, const PlotRect& r);
// Inverse of frequencyToX, clamped to [fmin, fmax].
double xToFrequency(double x, double fmin, double fmax, const PlotRect& r);

// y of level v; levels beyond the range stick to the top or bottom edge.
double levelToY(double v, double dbMin, double dbMax, const PlotRect& r);
// Inverse of levelToY, clamped to [dbMin, dbMax].
double yToLevel(double y, double dbMin, double dbMax, const PlotRect& r);

// Linear axes of the transfer-curve plots (input dB across, output dB up); not clamped.
double linearToX(double v, double vmin, double vmax, const PlotRect& r);
double linearToY(double v, double vmin, double vmax, const PlotRect& r);

// Graphic equaliser plot: 31 bands at x = 1..31 on a linear axis from 0 to 32.
inline constexpr int kGeqBands = 31;
double geqBandX(int band, const PlotRect& r);
// Nearest band under x, clamped to 0..30.
int geqBandAt(double x, const PlotRect& r);
// Gain at x on the straight line between two pointer samples, or nothing when x is not between
// them; lets a fast sweep still set every band it crossed.
bool interpolateSweep(double x, double x0, double y0, double x1, double y1, double* y);

inline constexpr std::array<const char*, kGeqBands> kGeqLabels{
    "20",   "25",  "31.5", "40",  "50",  "63",  "80",   "100",  "125", "160", "200",
    "250",  "315", "400",  "500", "630", "800", "1k",   "1k25", "1k6", "2k",  "2k5",
    "3k15", "4k",  "5k",   "6k3", "8k",  "10k", "12k5", "16k",  "20k"};

// Nominal centre frequencies of the 31 bands, for tooltips and handle reports.
inline constexpr std::array<double, kGeqBands> kGeqFrequencies{
    20,  25,   31.5, 40,   50,   63,   80,   100,  125,  160,  200,  250,   315,   400,   500,  630,
    800, 1000, 1250, 1600, 2000, 2500, 3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};

// The vertical grid lines: decades 20..100, 200..1000, 2000..10000 and 20000.
inline constexpr std::array<int, 28> kGridFrequencies{
    20,  30,  40,  50,   60,   70,   80,   90,   100,  200,  300,  400,  500,   600,
    700, 800, 900, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 20000};

} // namespace quorvel::curves
