// Figures of the dynamics page, offscreen: a knob release to its C frame arriving on a loopback
// socket (through the binding, the edit operation and the paced sender), and a handle drag event
// to its frame queued. Nothing leaves 127.0.0.0/8.
// Usage: QT_QPA_PLATFORM=offscreen bench_dynamics [samples]
#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "binding/edit_controller.h"
#include "controls/fader_ctrl.h"
#include "controls/response_view.h"
#include "link/device_link.h"
#include "link/edit_sink.h"
#include "link/paced_sender.h"
#include "page_bench.h"
#include "pages/processing/dynamics_controls.h"
#include "pages/processing/dynamics_page.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "session/navigation_model.h"

using namespace quorvel;
using bench::percentile;
using bench::sendMouse;
using namespace quorvel::ui;
using SteadyClock = std::chrono::steady_clock;

namespace {

// A socket on 127.0.0.2 standing in for the device; the port is the kernel's choice.
int bindReceiver(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(0x7F000002);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    timeval tv{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

} // namespace

int main(int argc, char** argv) {
    bench::quietPlatformWarnings();
    QApplication app(argc, argv);
    const int samples = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;

    std::uint16_t port = 0;
    const int rx = bindReceiver(port);
    const int tx = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (rx < 0 || tx < 0) {
        std::fprintf(stderr, "bench_dynamics: no loopback socket\n");
        return 1;
    }
    const std::optional<Destination> to = makeDestination("127.0.0.2", port);
    PacedSender sender([tx](const Destination& d, std::string_view datagram, std::string& error) {
        const auto n = ::sendto(tx, datagram.data(), datagram.size(), 0,
                                reinterpret_cast<const sockaddr*>(&d.address), sizeof d.address);
        if (n != static_cast<ssize_t>(datagram.size())) error = "short send";
        return n == static_cast<ssize_t>(datagram.size());
    });
    CallbackSink sink([&](OutgoingFrame f) { sender.enqueue(std::move(f), *to); });

    bench::OfflinePageRig rig(sink); // never connected
    const PageContext& ctx = rig.ctx;

    DynamicsPage page(ctx, nullptr);
    page.resize(1300, 760);
    page.bindTo(2);
    page.show();
    QApplication::processEvents();

    // 1. Knob release: the drag's moves are stored unsent, the release sends C.
    {
        FaderCtrl* knob = page.compressorKnobs()[3]->knob(); // attack
        std::vector<double> us;
        char buf[512];
        for (int i = 0; i < samples; ++i) {
            const QPointF grip(knob->thumbCentre(), knob->height() / 2.0);
            const double dx = (i % 2 == 0) ? 25 : -25;
            sendMouse(knob, QEvent::MouseButtonPress, grip);
            sendMouse(knob, QEvent::MouseMove, grip + QPointF(dx, 0));
            const auto t0 = SteadyClock::now();
            sendMouse(knob, QEvent::MouseButtonRelease, grip + QPointF(dx, 0));
            const ssize_t n = ::recv(rx, buf, sizeof buf, 0);
            const auto t1 = SteadyClock::now();
            if (n > 2 && buf[1] == 'C')
                us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            QApplication::processEvents();
        }
        std::printf("knob release -> C on the wire (loopback): median %.1f us, p99 %.1f us (%zu samples)\n",
                    percentile(us, 0.5), percentile(us, 0.99), us.size());
    }

    // 2. Threshold handle drag: from the move event to its frame queued, repaint included.
    {
        ResponseView* v = page.compressorCurve();
        std::vector<double> us;
        for (int i = 0; i < samples; ++i) {
            const QPointF h = v->transferHandlePoint(kThresholdHandle);
            const double dx = (i % 2 == 0) ? -12 : 12;
            sendMouse(v, QEvent::MouseButtonPress, h);
            const auto t0 = SteadyClock::now();
            sendMouse(v, QEvent::MouseMove, h + QPointF(dx, 0));
            v->repaint();
            us.push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - t0).count());
            sendMouse(v, QEvent::MouseButtonRelease, h + QPointF(dx, 0));
            char drop[512];
            while (::recv(rx, drop, sizeof drop, MSG_DONTWAIT) > 0) {
            }
        }
        std::printf("threshold handle move -> stored, queued and repainted: median %.1f us, p99 %.1f us\n",
                    percentile(us, 0.5), percentile(us, 0.99));
    }
    sender.drain(std::chrono::milliseconds(500));
    ::close(rx);
    ::close(tx);
    return 0;
}
