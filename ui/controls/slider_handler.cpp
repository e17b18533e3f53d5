#include "controls/slider_handler.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quorvel {

int clampFaderPosition(int value, int minimum, int maximum) {
    if (value > maximum) value = maximum;
    if (value < minimum) value = minimum;
    return value;
}

int faderPositionToPixel(const FaderGeometry& g, int position) {
    const int span = g.maximum - g.minimum;
    // An empty range would divide by zero; the thumb then rests at the leading end. Multiplying
    // before dividing keeps exact quotients exact, so truncation cannot lose a whole pixel.
    const double scaled = span > 0 ? double(g.travel()) * (position - g.minimum) / span : 0.0;
    return g.leadingMargin() + static_cast<int>(std::trunc(scaled)) + g.thumbAlong() / 2;
}

int faderPixelToPosition(const FaderGeometry& g, double pixel) {
    const int travel = g.travel();
    if (travel <= 0) return g.minimum;
    const double offset = pixel - g.thumbAlong() / 2 - g.leadingMargin();
    return static_cast<int>(std::trunc(offset * (g.maximum - g.minimum) / travel)) + g.minimum;
}

int faderTravelLow(const FaderGeometry& g) {
    return g.thumbAlong() / 2 + g.leadingMargin();
}

int faderTravelHigh(const FaderGeometry& g) {
    return std::max(faderTravelLow(g), g.trackAlong() - g.thumbAlong() / 2 - g.trailingMargin());
}

QString faderValueText(const FaderDisplay& d, int position, int minimum, int maximum) {
    if (d.mode == 2) return QString::number(static_cast<long long>(std::trunc(d.number)));
    const int span = maximum - minimum;
    const int v =
        span != 0 ? d.atMaximum + (d.atMinimum - d.atMaximum) * (maximum - position) / span : d.atMinimum;
    const double shown = d.number != 0.0 ? v / d.number : double(v);
    if (shown == std::trunc(shown)) return QString::number(static_cast<long long>(shown));
    return QString::asprintf("%0.2f", shown);
}

bool SliderHandler::setPosition(int value) {
    const int v = clampFaderPosition(value, geometry.minimum, geometry.maximum);
    const bool changed = v != position_;
    position_ = v;
    return changed;
}

bool SliderHandler::press(QPointF p, Qt::KeyboardModifiers mods, Notify* notify) {
    const int centre = faderPositionToPixel(geometry, position_);
    if (geometry.vertical) {
        const bool onThumbX =
            p.x() >= geometry.marginLeft && p.x() < geometry.marginLeft + geometry.thumbWidth;
        const bool onThumbY = std::abs(p.y() - centre) <= geometry.thumbHeight / 2;
        if (!onThumbX || !onThumbY) return false;
    }
    dragging_ = true;
    fine_ = false;
    const double d = along(p);
    // Far from the thumb it jumps to the pointer; on it, it keeps the point where it was gripped.
    grabOffset_ =
        std::abs(d - centre) > geometry.thumbAlong() / 2 ? 0 : static_cast<int>(std::trunc(d - centre));
    lastTarget_ = centre;
    const Notify n = move(p, mods);
    if (notify) *notify = n;
    return true;
}

SliderHandler::Notify SliderHandler::move(QPointF p, Qt::KeyboardModifiers mods) {
    if (!dragging_) return Notify::None;
    const double d = along(p);
    double target;
    if (mods & Qt::ShiftModifier) {
        if (!fine_) {
            fine_ = true;
            fineAnchorPointer_ = d;
            fineAnchorTarget_ = lastTarget_;
        }
        target = fineAnchorTarget_ + (d - fineAnchorPointer_) / kFineRatio;
    } else {
        if (fine_) {
            // Leaving fine mode must not make the thumb leap back under the pointer.
            fine_ = false;
            grabOffset_ = static_cast<int>(std::trunc(d - lastTarget_));
        }
        target = d - grabOffset_;
    }
    target = std::clamp(target, double(faderTravelLow(geometry)), double(faderTravelHigh(geometry)));
    lastTarget_ = target;
    if (target == faderPositionToPixel(geometry, position_)) return Notify::None;
    return setPosition(faderPixelToPosition(geometry, target)) ? Notify::Changing : Notify::None;
}

SliderHandler::Notify SliderHandler::release() {
    if (!dragging_) return Notify::None;
    dragging_ = false;
    fine_ = false;
    return Notify::Changed;
}

bool SliderHandler::key(int qtKey, Notify* notify) {
    int target;
    switch (qtKey) {
    case Qt::Key_PageUp:
        target = position_ - pageStep;
        break;
    case Qt::Key_PageDown:
        target = position_ + pageStep;
        break;
    case Qt::Key_End:
        target = geometry.maximum;
        break;
    case Qt::Key_Home:
        target = geometry.minimum;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        target = position_ + 1;
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
        target = position_ - 1;
        break;
    default:
        return false;
    }
    setPosition(target);
    // Every handled key reports, even when the position was already at the end.
    if (notify) *notify = Notify::Changed;
    return true;
}

SliderHandler::Notify SliderHandler::wheel(int angleDelta) {
    wheelAccumulator_ += angleDelta;
    const int notches = wheelAccumulator_ / 120;
    if (notches == 0) return Notify::None;
    wheelAccumulator_ -= notches * 120;
    // Turning the wheel away from the user moves the thumb up on a vertical fader (towards the
    // minimum end) and right on a horizontal one (towards the maximum end).
    const int step = geometry.vertical ? -notches : notches;
    return setPosition(position_ + step) ? Notify::Changed : Notify::None;
}

} // namespace quorvel
