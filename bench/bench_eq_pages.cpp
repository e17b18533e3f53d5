// Figures of the equaliser page, offscreen: a curve drag from the mouse event to the repainted
// view, and a knob release to its G frame in the sender's queue.
// Usage: QT_QPA_PLATFORM=offscreen bench_eq_pages [moves]
#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "binding/edit_controller.h"
#include "controls/fader_ctrl.h"
#include "controls/response_view.h"
#include "link/device_link.h"
#include "link/edit_sink.h"
#include "link/field_registry.h"
#include "page_bench.h"
#include "pages/processing/peq_page.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "session/navigation_model.h"

using namespace quorvel;
using bench::percentile;
using bench::sendMouse;
using namespace quorvel::ui;
using SteadyClock = std::chrono::steady_clock;

namespace {

class TimedSink : public EditSink {
public:
    void queue(OutgoingFrame) override {
        if (frames++ == 0) firstAt = SteadyClock::now();
    }
    int frames = 0;
    SteadyClock::time_point firstAt;
};

} // namespace

int main(int argc, char** argv) {
    bench::quietPlatformWarnings();
    QApplication app(argc, argv);
    const int moves = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;

    TimedSink sink;
    bench::OfflinePageRig rig(sink); // never connected
    DeviceState& state = rig.state;
    EditController& edits = rig.edits;
    const PageContext& ctx = rig.ctx;
    for (int b = 0; b < kPeqBands; ++b)
        state.in(1).peq[static_cast<std::size_t>(b)].bandGain = 120 + 20 * b;
    state.in(1).hpfOn = state.in(1).lpfOn = 1;
    state.in(1).hpfSlope = state.in(1).lpfSlope = 8;
    state.in(1).lpfFreq = 15000;

    PeqPage page(ctx, nullptr);
    page.resize(1280, 700);
    page.bindTo(0);
    page.show();
    QApplication::processEvents();

    // 1. Curve drag: mouse event, stored and paced, view repainted (repaint() paints at once).
    {
        ResponseView* v = page.view();
        const QPointF start = v->handlePoint(1);
        sendMouse(v, QEvent::MouseButtonPress, start);
        std::vector<double> us;
        for (int i = 0; i < moves; ++i) {
            const QPointF at = start + QPointF((i % 40) * 3.0, ((i / 40) % 2 ? -1 : 1) * (i % 20) * 2.0);
            const auto t0 = SteadyClock::now();
            sendMouse(v, QEvent::MouseMove, at);
            v->repaint();
            us.push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - t0).count());
        }
        sendMouse(v, QEvent::MouseButtonRelease, start);
        std::printf("curve drag -> repainted: median %.0f us, p99 %.0f us (%zu moves)\n", percentile(us, 0.5),
                    percentile(us, 0.99), us.size());
    }

    // The share of painting alone, with nothing moved.
    {
        std::vector<double> us;
        for (int i = 0; i < moves / 5; ++i) {
            const auto t0 = SteadyClock::now();
            page.view()->repaint();
            us.push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - t0).count());
        }
        std::printf("view repaint alone: median %.0f us, p99 %.0f us\n", percentile(us, 0.5),
                    percentile(us, 0.99));
    }

    // The share of the change notice: knobs, value labels and the curve follow the stored values.
    {
        ChangeSet c;
        c.add(*FieldRegistry::instance().idOf("input[1].peq[2].bandGain"));
        c.add(*FieldRegistry::instance().idOf("input[1].peq[2].bandFreq"));
        std::vector<double> us;
        for (int i = 0; i < moves / 5; ++i) {
            state.in(1).peq[1].bandGain = 100 + i % 100;
            const auto t0 = SteadyClock::now();
            edits.announce(c);
            us.push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - t0).count());
            QApplication::processEvents();
        }
        std::printf("change notice alone: median %.0f us, p99 %.0f us\n", percentile(us, 0.5),
                    percentile(us, 0.99));
    }

    // 2. Knob release: from the mouse release to the G frame queued.
    {
        auto* knob = page.findChild<FaderCtrl*>("band3Gain");
        std::vector<double> us;
        for (int i = 0; i < moves; ++i) {
            const QPointF grip(knob->thumbCentre(), knob->height() / 2.0);
            sendMouse(knob, QEvent::MouseButtonPress, grip);
            sendMouse(knob, QEvent::MouseMove, grip + QPointF(i % 2 ? -6 : 6, 0));
            sink.frames = 0;
            const auto t0 = SteadyClock::now();
            sendMouse(knob, QEvent::MouseButtonRelease, grip + QPointF(i % 2 ? -6 : 6, 0));
            if (sink.frames > 0)
                us.push_back(std::chrono::duration<double, std::micro>(sink.firstAt - t0).count());
            QApplication::processEvents();
        }
        std::printf("knob release -> G queued: median %.1f us, p99 %.1f us (%zu samples)\n",
                    percentile(us, 0.5), percentile(us, 0.99), us.size());
    }
    return 0;
}
