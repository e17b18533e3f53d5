#include "controls/wheel_gate.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QScrollBar>
#include <QWheelEvent>

namespace quorvel {

WheelGate& WheelGate::shared() {
    static WheelGate gate;
    return gate;
}

void WheelGate::setClock(Clock clock) {
    clock_ = std::move(clock);
}

std::chrono::milliseconds WheelGate::now() const {
    if (clock_) return clock_();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void WheelGate::pointerEntered(const void* control) {
    over_ = control;
    since_ = now();
}

void WheelGate::pointerLeft(const void* control) {
    if (over_ == control) over_ = nullptr;
}

bool WheelGate::takes(const void* control, bool focused) {
    if (focused) return true;
    const std::chrono::milliseconds t = now();
    if (over_ == control && t - since_ >= kRest) return true;
    // Arrived by the page moving under a still pointer, or not rested long enough.
    over_ = control;
    since_ = t;
    return false;
}

QAbstractScrollArea* pageScrollArea(const QWidget* w) {
    for (const QWidget* p = w; p && !p->isWindow(); p = p->parentWidget()) {
        auto* area = qobject_cast<QAbstractScrollArea*>(p->parentWidget());
        if (area && area->viewport() == p) return area;
    }
    return nullptr;
}

bool passWheelToPage(QWidget* from, QWheelEvent* e) {
    QAbstractScrollArea* area = pageScrollArea(from);
    if (!area) return false;
    QWidget* viewport = area->viewport();
    QWheelEvent copy(from->mapTo(viewport, e->position()), e->globalPosition(), e->pixelDelta(),
                     e->angleDelta(), e->buttons(), e->modifiers(), e->phase(), e->inverted(), e->source());
    QCoreApplication::sendEvent(viewport, &copy);
    e->accept(); // the page has it; nothing between may act on it too
    return true;
}

bool controlTakesWheel(QWidget* control, QWheelEvent* e) {
    const QAbstractScrollArea* area = pageScrollArea(control);
    const bool scrolls =
        area && (area->verticalScrollBar()->maximum() > 0 || area->horizontalScrollBar()->maximum() > 0);
    if (!scrolls) return true;
    if (WheelGate::shared().takes(control, control->hasFocus())) return true;
    passWheelToPage(control, e);
    return false;
}

} // namespace quorvel
