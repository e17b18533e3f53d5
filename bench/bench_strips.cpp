// Figures of the mixing surface, offscreen: fader drag event to A frame queued, status report to
// repainted meters, and the CPU the strips take under 20 status reports a second.
// Usage: QT_QPA_PLATFORM=offscreen bench_strips [seconds]
#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "binding/edit_controller.h"
#include "controls/fader_ctrl.h"
#include "link/device_link.h"
#include "link/edit_sink.h"
#include "link/frame.h"
#include "link/report_changes.h"
#include "link/reports.h"
#include "mixing/groups.h"
#include "page_bench.h"
#include "pages/processing/input_strip.h"
#include "pages/processing/output_strip.h"
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
    void queue(OutgoingFrame frame) override {
        if (frames == 0) firstAt = SteadyClock::now();
        ++frames;
        last = std::move(frame);
    }
    int frames = 0;
    SteadyClock::time_point firstAt;
    OutgoingFrame last;
};

std::string statusFrame(std::mt19937& rng) {
    std::string body = "%Q,1,";
    std::uniform_int_distribution<int> meter(0, 90);
    char buf[4];
    for (int j = 0; j < 22; ++j) {
        const int v = j < 20 ? meter(rng)
                             : (j == 20 ? static_cast<int>(rng() & 0xFF) : 1 + static_cast<int>(rng() % 8));
        std::snprintf(buf, sizeof buf, "%02X", v);
        body += buf;
    }
    body += ',';
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", frameChecksum(body));
    return body + crc + "#";
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    bench::quietPlatformWarnings();
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    TimedSink sink;
    bench::OfflinePageRig rig(sink); // never connected
    DeviceState& state = rig.state;
    EditController& edits = rig.edits;
    const PageContext& ctx = rig.ctx;

    QWidget host;
    host.resize(9 * 182 + 18, 700);
    std::vector<InputStrip*> strips;
    for (int k = 0; k < 8; ++k) {
        auto* s = new InputStrip(ctx, k, &host);
        s->setGeometry(k * 184, 0, 182, 700);
        s->refresh();
        strips.push_back(s);
    }
    host.show();
    QApplication::processEvents();

    // 1. Fader drag: from the mouse event to the A frame in the sender's queue.
    {
        FaderCtrl* f = strips[2]->fader();
        std::vector<double> us;
        for (int i = 0; i < 2000; ++i) {
            const QPointF grip(45, f->thumbCentre());
            sendMouse(f, QEvent::MouseButtonPress, grip);
            sink.frames = 0;
            const double dy = (i % 2 == 0) ? -30 : 30;
            const auto t0 = SteadyClock::now();
            sendMouse(f, QEvent::MouseMove, grip + QPointF(0, dy));
            if (sink.frames > 0)
                us.push_back(std::chrono::duration<double, std::micro>(sink.firstAt - t0).count());
            sendMouse(f, QEvent::MouseButtonRelease, grip + QPointF(0, dy));
            QApplication::processEvents();
        }
        std::printf("fader drag -> A queued: median %.1f us, p99 %.1f us (%zu samples)\n",
                    percentile(us, 0.5), percentile(us, 0.99), us.size());
    }

    // 2. Status report to repainted meters (parse, fold into the strips, paint).
    ReportDispatcher dispatcher(state);
    std::mt19937 rng(7);
    {
        std::vector<double> us;
        for (int i = 0; i < 500; ++i) {
            const std::string frame = statusFrame(rng);
            const auto t0 = SteadyClock::now();
            const DispatchResult r = dispatcher.dispatch(frame, SteadyClock::now());
            for (InputStrip* s : strips)
                s->refreshMeters();
            edits.announce(shownChanges(r)); // the state words
            QApplication::processEvents();   // the paint of what changed
            us.push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - t0).count());
        }
        std::printf("status report -> meters painted (8 strips): median %.1f us, p99 %.1f us\n",
                    percentile(us, 0.5), percentile(us, 0.99));
    }

    // 3. CPU under 20 status reports a second, painting through the event loop.
    {
        QTimer feed;
        feed.setInterval(50);
        QObject::connect(&feed, &QTimer::timeout, [&] {
            const DispatchResult r = dispatcher.dispatch(statusFrame(rng), SteadyClock::now());
            for (InputStrip* s : strips)
                s->refreshMeters();
            edits.announce(shownChanges(r));
        });
        const double cpu0 = cpuSeconds();
        const auto wall0 = SteadyClock::now();
        feed.start();
        QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
        app.exec();
        const double wall = std::chrono::duration<double>(SteadyClock::now() - wall0).count();
        std::printf("CPU with 20 status reports/s, 8 strips shown: %.2f %% of one core over %.1f s\n",
                    100.0 * (cpuSeconds() - cpu0) / wall, wall);
    }
    return 0;
}
