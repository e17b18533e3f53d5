#include "curves/plot_mapping.h"

#include <algorithm>
#include <cmath>

namespace quorvel::curves {

PlotRect plotRect(int width, int height, bool axesShown) {
    if (!axesShown) return {0, 0, width, height};
    return {width / 20, height / 20, width - width / 20, height - height / 10};
}

double frequencyToX(double f, double fmin, double fmax, const PlotRect& r) {
    return r.left + std::log10(f / fmin) / std::log10(fmax / fmin) * (r.right - r.left);
}

double xToFrequency(double x, double fmin, double fmax, const PlotRect& r) {
    if (r.right == r.left) return fmin;
    const double t = std::clamp((x - r.left) / double(r.right - r.left), 0.0, 1.0);
    return fmin * std::pow(fmax / fmin, t);
}

double levelToY(double v, double dbMin, double dbMax, const PlotRect& r) {
    // A NaN level has no place on the axis; parking it on the midline keeps the polygon sane.
    if (std::isnan(v)) v = (dbMin + dbMax) / 2.0;
    if (dbMax == dbMin) return r.bottom;
    const double y = r.bottom - (v - dbMin) * (r.bottom - r.top) / (dbMax - dbMin);
    return std::clamp(y, double(r.top), double(r.bottom));
}

double yToLevel(double y, double dbMin, double dbMax, const PlotRect& r) {
    if (r.bottom == r.top) return dbMin;
    const double t = std::clamp((r.bottom - y) / double(r.bottom - r.top), 0.0, 1.0);
    return dbMin + t * (dbMax - dbMin);
}

double linearToX(double v, double vmin, double vmax, const PlotRect& r) {
    if (vmax == vmin) return r.left;
    return r.left + (v - vmin) / (vmax - vmin) * (r.right - r.left);
}

double linearToY(double v, double vmin, double vmax, const PlotRect& r) {
    if (vmax == vmin) return r.bottom;
    return r.bottom - (v - vmin) / (vmax - vmin) * (r.bottom - r.top);
}

double geqBandX(int band, const PlotRect& r) {
    return linearToX(band + 1, 0, kGeqBands + 1, r);
}

int geqBandAt(double x, const PlotRect& r) {
    if (r.right == r.left) return 0;
    const double v = (x - r.left) / double(r.right - r.left) * (kGeqBands + 1);
    return std::clamp(static_cast<int>(std::lround(v)) - 1, 0, kGeqBands - 1);
}

bool interpolateSweep(double x, double x0, double y0, double x1, double y1, double* y) {
    if (x < std::min(x0, x1) || x > std::max(x0, x1)) return false;
    *y = x1 == x0 ? y1 : y0 + (y1 - y0) * (x - x0) / (x1 - x0);
    return true;
}

} // namespace quorvel::curves
