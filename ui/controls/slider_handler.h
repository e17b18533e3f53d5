// Position arithmetic and pointer/key/wheel handling shared by the faders and the slider knobs.
// Kept free of painting so every rule can be checked without a window.
#pragma once

#include <QPointF>
#include <Qt>

namespace quorvel {

struct FaderGeometry {
    int minimum = 0;
    int maximum = 100;
    bool vertical = false;
    int marginLeft = 0, marginTop = 0, marginRight = 0, marginBottom = 0;
    int trackWidth = 0, trackHeight = 0;
    int thumbWidth = 0, thumbHeight = 0;

    int thumbAlong() const { return vertical ? thumbHeight : thumbWidth; }
    int leadingMargin() const { return vertical ? marginTop : marginLeft; }
    int trailingMargin() const { return vertical ? marginBottom : marginRight; }
    int trackAlong() const { return vertical ? trackHeight : trackWidth; }
    // Pixels the thumb's edge can travel.
    int travel() const { return trackAlong() - trailingMargin() - thumbAlong() - leadingMargin(); }
};

// Clamp with the maximum tested first, so an inverted range yields the minimum.
int clampFaderPosition(int value, int minimum, int maximum);

// Thumb centre pixel along the travel axis.
int faderPositionToPixel(const FaderGeometry& g, int position);
// Position under a thumb centre pixel (not clamped; callers clamp through setPosition).
int faderPixelToPosition(const FaderGeometry& g, double pixel);

// Range of thumb centre pixels a drag may reach.
int faderTravelLow(const FaderGeometry& g);
int faderTravelHigh(const FaderGeometry& g);

// Value text of the fader: displayMode 1 maps the position linearly between the two end values
// and divides by `number`; mode 2 shows the integer part of `number`.
struct FaderDisplay {
    int mode = 1;
    int atMinimum = 10;
    int atMaximum = -50;
    double number = 1.0;
};
QString faderValueText(const FaderDisplay& d, int position, int minimum, int maximum);

class SliderHandler {
public:
    enum class Notify { None, Changing, Changed };

    // Pointer travel per pixel of thumb travel while Shift is held during a drag.
    static constexpr double kFineRatio = 5.0;

    FaderGeometry geometry;
    int pageStep = 20;

    int position() const { return position_; }
    bool dragging() const { return dragging_; }
    int grabOffset() const { return grabOffset_; }

    // Clamps and stores; true when the stored value changed.
    bool setPosition(int value);

    // Left button down. Returns false when the press is not on something draggable (a vertical
    // fader only reacts on its thumb). On acceptance `notify` tells whether the jump to the
    // pointer changed the position.
    bool press(QPointF p, Qt::KeyboardModifiers mods, Notify* notify);
    Notify move(QPointF p, Qt::KeyboardModifiers mods);
    // Ends a drag; Changed when one was in progress.
    Notify release();
    // Returns false for keys the fader does not take (they pass on to the dialog).
    bool key(int qtKey, Notify* notify);
    // One notch (120) steps one position; the thumb goes the way the wheel turns on screen.
    Notify wheel(int angleDelta);

private:
    double along(QPointF p) const { return geometry.vertical ? p.y() : p.x(); }

    int position_ = 0;
    bool dragging_ = false;
    int grabOffset_ = 0;
    bool fine_ = false;
    double fineAnchorPointer_ = 0;
    double fineAnchorTarget_ = 0;
    double lastTarget_ = 0;
    int wheelAccumulator_ = 0;
};

} // namespace quorvel
