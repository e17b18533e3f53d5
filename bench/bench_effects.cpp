// Figures of the EFFECT page, offscreen: one step of a fader drag to the page repainted (the
// fader, its value and what the notification touches), at the pace of a 60 Hz pointer, and the
// release to the group queued.
// Usage: QT_QPA_PLATFORM=offscreen bench_effects [steps]
#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "binding/edit_controller.h"
#include "controls/fader_ctrl.h"
#include "link/device_link.h"
#include "link/edit_sink.h"
#include "page_bench.h"
#include "pages/mixing/effect_page.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "session/navigation_model.h"

using namespace quorvel;
using bench::percentile;
using bench::sendMouse;
using namespace quorvel::ui;
using SteadyClock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    bench::quietPlatformWarnings();
    QApplication app(argc, argv);
    const int steps = argc > 1 ? std::max(10, std::atoi(argv[1])) : 600;

    RecordingSink sink;
    bench::OfflinePageRig rig(sink); // never connected
    const PageContext& ctx = rig.ctx;

    QWidget host;
    host.resize(1274, 760);
    auto* page = new EffectPage(ctx, &host);
    page->setGeometry(0, 0, 1274, 760);
    host.show();
    QApplication::processEvents();

    for (const bool full : {false, true})
        for (int k : {0, 5, 6}) { // reverberation Delay1, its LPF, the delay's Pre delay1
            FaderCtrl* f = page->fader(k);
            const QPointF grip(f->thumbCentre(), f->height() / 2.0);
            sendMouse(f, QEvent::MouseButtonPress, grip);
            std::vector<double> us;
            double x = grip.x();
            const auto frame = std::chrono::microseconds(16667);
            auto next = SteadyClock::now();
            for (int i = 0; i < steps; ++i) {
                x += (i / 40) % 2 == 0 ? 2 : -2; // back and forth across the track
                next += frame;
                std::this_thread::sleep_until(next);
                const auto t0 = SteadyClock::now();
                sendMouse(f, QEvent::MouseMove, QPointF(x, grip.y()));
                // The paint of what the move marked dirty (the thumb, the value beside it), now
                // rather than at the next vsync; `full` repaints the whole page each step instead.
                if (full) page->repaint();
                QApplication::processEvents();
                us.push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - t0).count());
            }
            sink.frames.clear();
            const auto r0 = SteadyClock::now();
            sendMouse(f, QEvent::MouseButtonRelease, QPointF(x, grip.y()));
            const double release = std::chrono::duration<double, std::micro>(SteadyClock::now() - r0).count();
            std::printf(
                "fader %d drag step -> %s repainted at 60 Hz: median %.0f us, p99 %.0f us, max %.0f us "
                "(%zu steps); release -> %zu frames queued in %.0f us\n",
                f->id(), full ? "whole page" : "dirty region", percentile(us, 0.5), percentile(us, 0.99),
                percentile(us, 1.0), us.size(), sink.frames.size(), release);
        }
    return 0;
}
