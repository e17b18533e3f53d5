// Figures of the MATRIX and MODE pages, offscreen, with frames going out through the paced sender
// onto a real loopback socket: crosspoint click to B received, and a SYNCed threshold change
// (first L, first to last of the sweep, each pause) with the time the wheel handler holds the UI.
// Usage: QT_QPA_PLATFORM=offscreen bench_mixing [sweeps]
#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "binding/edit_controller.h"
#include "controls/drop_list.h"
#include "controls/image_button.h"
#include "link/device_link.h"
#include "link/paced_sender.h"
#include "page_bench.h"
#include "pages/mixing/matrix_page.h"
#include "pages/mixing/mode_page.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "session/navigation_model.h"

using namespace quorvel;
using bench::percentile;
using bench::sendMouse;
using namespace quorvel::ui;
using SteadyClock = std::chrono::steady_clock;

namespace {

// A socket on 127.0.0.x bound to an ephemeral port.
int boundSocket(const char* address, sockaddr_in& at) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    at = {};
    at.sin_family = AF_INET;
    inet_pton(AF_INET, address, &at.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        std::perror("bind");
        std::exit(1);
    }
    socklen_t len = sizeof at;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len);
    return fd;
}

struct Received {
    std::string text;
    SteadyClock::time_point at;
};

// Waits up to `ms` for one datagram.
bool receive(int fd, Received& r, int ms) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    char buf[2048];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    r.at = SteadyClock::now();
    r.text.assign(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    return n > 0;
}

void wheel(QWidget* w, int delta) {
    const QPointF pos(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &e);
}

double ms(SteadyClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    bench::quietPlatformWarnings();
    QApplication app(argc, argv);
    const int sweeps = argc > 1 ? std::max(2, std::atoi(argv[1])) : 40;

    sockaddr_in deviceAt{}, ownAt{};
    const int device = boundSocket("127.0.0.2", deviceAt);
    const int own = boundSocket("127.0.0.1", ownAt);
    char host[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &deviceAt.sin_addr, host, sizeof host);
    PacedSender sender([own](const Destination& to, std::string_view d, std::string&) {
        return ::sendto(own, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to.address),
                        sizeof to.address) == static_cast<ssize_t>(d.size());
    });
    const Destination to = *makeDestination(host, ntohs(deviceAt.sin_port));
    CallbackSink sink([&](OutgoingFrame f) { sender.enqueue(std::move(f), to); });

    bench::OfflinePageRig rig(sink, host); // never connected
    DeviceState& state = rig.state;
    const PageContext& ctx = rig.ctx;

    MatrixPage matrix(ctx, nullptr);
    matrix.resize(1400, 700);
    matrix.show();
    ModePage mode(ctx, nullptr);
    mode.resize(1400, 700);
    mode.show();
    QApplication::processEvents();

    // 1. Crosspoint click to the B frame received on the device's socket.
    {
        std::vector<double> us;
        Received r;
        for (int i = 0; i < 1000; ++i) {
            ImageButton* xp = matrix.crosspoint(1 + i % 12, 1 + (i / 12) % 4);
            const auto t0 = SteadyClock::now();
            sendMouse(xp, QEvent::MouseButtonPress);
            sendMouse(xp, QEvent::MouseButtonRelease);
            if (receive(device, r, 100) && r.text.rfind("%B", 0) == 0) us.push_back(1000.0 * ms(r.at - t0));
        }
        std::printf("crosspoint click -> B received: median %.1f us, p99 %.1f us (%zu samples)\n",
                    percentile(us, 0.5), percentile(us, 0.99), us.size());
    }

    // 2. SYNCed threshold: one wheel notch, nine L on the wire.
    state.automix.syncThresholds = 1;
    {
        std::vector<double> first, span, pauses, handler;
        for (int i = 0; i < sweeps; ++i) {
            DropList* list = mode.threshold(1 + i % 7); // channel 8 runs at the shorter pause
            while (!sender.settled())                   // the previous sweep's last pause belongs to it
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const auto t0 = SteadyClock::now();
            wheel(list, i % 2 ? 120 : -120);
            handler.push_back(ms(SteadyClock::now() - t0));
            std::vector<Received> got;
            Received r;
            while (got.size() < 9 && receive(device, r, 500))
                got.push_back(r);
            if (got.size() != 9) {
                std::printf("sweep %d: %zu frames\n", i, got.size());
                continue;
            }
            first.push_back(ms(got[0].at - t0));
            span.push_back(ms(got[8].at - got[1].at));
            for (std::size_t k = 2; k < 9; ++k)
                pauses.push_back(ms(got[k].at - got[k - 1].at));
        }
        std::printf("SYNC change: first L after %.3f ms median (p99 %.3f); second to ninth %.1f ms median "
                    "(min %.1f, max %.1f); pause p50 %.2f ms, p99 %.2f ms, max %.2f ms (%zu pauses)\n",
                    percentile(first, 0.5), percentile(first, 0.99), percentile(span, 0.5),
                    *std::min_element(span.begin(), span.end()), *std::max_element(span.begin(), span.end()),
                    percentile(pauses, 0.5), percentile(pauses, 0.99),
                    *std::max_element(pauses.begin(), pauses.end()), pauses.size());
        std::printf("wheel handler on the UI thread: median %.3f ms, max %.3f ms\n", percentile(handler, 0.5),
                    *std::max_element(handler.begin(), handler.end()));
    }

    // 3. Twenty notches in a row with SYNC on: the UI thread never waits for the line.
    {
        double worst = 0;
        const auto t0 = SteadyClock::now();
        for (int i = 0; i < 20; ++i) {
            const auto a = SteadyClock::now();
            wheel(mode.threshold(3), -120);
            QApplication::processEvents();
            worst = std::max(worst, ms(SteadyClock::now() - a));
        }
        const double all = ms(SteadyClock::now() - t0);
        int frames = 0;
        Received r;
        while (receive(device, r, 300))
            ++frames;
        std::printf("20 notches with SYNC on: longest notch on the UI thread %.3f ms, all 20 in %.2f ms; "
                    "%d L frames reached the device (the sender keeps the latest of each channel)\n",
                    worst, all, frames);
    }
    ::close(device);
    ::close(own);
    return 0;
}
