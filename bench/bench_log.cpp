// What the traffic log costs with the device reporting 20 times a second: the application's CPU
// (every thread of this process: UI, receive, sender, log worker) with the Log panel closed, open
// with its default filter (reports hidden), open showing reports, and closed while a file is
// written. The device runs in a child process so that its CPU is not counted.
//   bench_log [seconds per phase, default 10]
#include "link/device_link.h"
#include "log/event_log.h"
#include "log/traffic_log.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/log_dock.h"
#include "session/link_adapter.h"
#include "sim/simulator.h"

using namespace quorvel;
using namespace quorvel::ui;

namespace {

double cpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

pid_t spawnDevice(std::uint16_t port, int& keepAlive) {
    int fds[2];
    if (::pipe(fds) != 0) std::exit(1);
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[1]);
        sim::SimOptions so;
        so.bind = "127.0.0.3";
        so.port = port;
        so.meterHz = 20;
        sim::Simulator device(so);
        std::string error;
        if (!device.start(error)) _exit(1);
        char c;
        while (::read(fds[0], &c, 1) > 0) {
        }
        device.stop();
        _exit(0);
    }
    ::close(fds[0]);
    keepAlive = fds[1];
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return pid;
}

// The application's own loop, sleeping between events as it does in use.
void runFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

struct Phase {
    const char* name;
    double cpuPercent;
    std::uint64_t lines;
};

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QUORVEL_LOOPBACK_ONLY") == nullptr) ::setenv("QUORVEL_LOOPBACK_ONLY", "1", 1);
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const auto port = static_cast<std::uint16_t>(43000 + ::getpid() % 1000 * 2);
    int keep = -1;
    // Before any thread exists in this process.
    const pid_t child = spawnDevice(port, keep);

    QApplication app(argc, argv);
    DeviceState state;
    loadFactoryDefaults(state, 1);
    state.link.hostAddress = "127.0.0.3";
    state.link.udpPort = port;
    LinkOptions lo;
    lo.bindAddress = "127.0.0.1";
    TrafficLog traffic;
    const auto file =
        std::filesystem::temp_directory_path() / ("bench-traffic-" + std::to_string(::getpid()));
    Phase phases[5]{};
    {
        LinkAdapter link(state, lo);
        QMainWindow window;
        window.resize(1200, 800);
        auto* dock = new LogDock(traffic, appEventLog(), &link, &window);
        window.addDockWidget(Qt::BottomDockWidgetArea, dock);
        dock->hide();
        window.show();
        link.pressConnect();
        for (int i = 0; i < 50 && !state.link.linkOnline; ++i)
            runFor(0.1);
        if (!state.link.linkOnline) {
            std::fprintf(stderr, "bench_log: no handshake\n");
            return 1;
        }
        runFor(1.0); // reports under way

        auto phase = [&](Phase& p, const char* name, auto setup) {
            setup();
            runFor(0.5);
            const auto sent0 = link.link().senderStats().framesSent;
            const auto got0 = link.link().receiveStats().framesAccepted;
            const double c0 = cpuSeconds();
            QElapsedTimer t;
            t.start();
            runFor(seconds);
            const double cpu = cpuSeconds() - c0;
            const double wall = static_cast<double>(t.nsecsElapsed()) / 1e9;
            p = {name, 100.0 * cpu / wall,
                 link.link().senderStats().framesSent - sent0 + link.link().receiveStats().framesAccepted -
                     got0};
        };
        phase(phases[0], "panel closed, no file", [] {});
        phase(phases[1], "panel open, reports hidden", [&] { dock->show(); });
        phase(phases[2], "panel open, reports shown", [&] { dock->reportsBox()->setChecked(true); });
        phase(phases[3], "panel closed, --log-traffic file", [&] {
            dock->hide();
            std::string error;
            if (!traffic.openFile(file, error)) std::fprintf(stderr, "bench_log: %s\n", error.c_str());
            dock->updateHook();
        });
        phase(phases[4], "panel closed, no file (again)", [&] {
            traffic.closeFile();
            dock->updateHook();
        });
        link.closeLink();
    }
    ::close(keep);
    ::waitpid(child, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove(file, ec);

    const double base = (phases[0].cpuPercent + phases[4].cpuPercent) / 2;
    std::printf(
        "traffic log at 20 status reports/s, %.0f s a phase (CPU of every thread of the application):\n",
        seconds);
    for (const Phase& p : phases)
        std::printf("  %-34s %6.3f %% of one core, %+.3f points vs closed, %llu frames on the line\n", p.name,
                    p.cpuPercent, p.cpuPercent - base, static_cast<unsigned long long>(p.lines));
    return 0;
}
