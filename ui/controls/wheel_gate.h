// Scrolling through the strips must never move a control by accident: on a page that scrolls,
// the wheel goes to the page unless the pointer has rested on the control for a moment, or the
// control has the focus. The rule lives here once; the controls only ask.
#pragma once

#include <chrono>
#include <functional>

class QAbstractScrollArea;
class QWheelEvent;
class QWidget;

namespace quorvel {

class WheelGate {
public:
    using Clock = std::function<std::chrono::milliseconds()>;
    static constexpr std::chrono::milliseconds kRest{300};

    // The one the controls use. Tests give it a clock of their own.
    static WheelGate& shared();
    // An empty clock is the steady clock.
    void setClock(Clock clock);

    void pointerEntered(const void* control);
    void pointerLeft(const void* control);

    // A wheel over the control: true when the control takes it. A wheel that goes to the page
    // restarts the rest, since whatever the page moved under the pointer has not been rested on.
    bool takes(const void* control, bool focused);

private:
    std::chrono::milliseconds now() const;

    Clock clock_;
    const void* over_ = nullptr;
    std::chrono::milliseconds since_{0};
};

// The scroll area of the page the widget sits on, whether or not it can scroll now.
QAbstractScrollArea* pageScrollArea(const QWidget* w);
// Hands the wheel to the page under the widget and accepts the original. False when the widget
// is on no scrolling surface.
bool passWheelToPage(QWidget* from, QWheelEvent* e);
// The gate as a control applies it: true when the control should act on the wheel; otherwise the
// wheel has gone to the page. Outside a page that can scroll, the control always takes it.
bool controlTakesWheel(QWidget* control, QWheelEvent* e);

} // namespace quorvel
