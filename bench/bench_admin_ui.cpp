// The UI thread's share of a scene recall, offscreen: loading the file and every page following
// the new model (the longest stall of a recall), then each step of the upload that follows it.
// Usage: QT_QPA_PLATFORM=offscreen bench_admin_ui
#include "link/device_link.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/main_window.h"
#include "link/edit_sink.h"
#include "pages/admin/device_settings_page.h"
#include "pages/admin/scene_panel.h"
#include "pages/admin/upload_runner.h"
#include "presets/preset_store.h"
#include "session/app_profile.h"
#include "session/link_adapter.h"

using namespace quorvel;
using namespace quorvel::ui;
using Steady = std::chrono::steady_clock;

namespace {

double ms(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void report(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("%s: median %.3f ms, longest %.3f ms over %zu\n", what, v[v.size() / 2], v.back(), v.size());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    Profile profile(dir.path());
    DeviceState state;
    loadFactoryDefaults(state, 1);
    state.link.hostAddress = "127.0.0.2"; // never connected: nothing leaves
    LinkOptions lo;
    lo.bindAddress = "127.0.0.1";
    LinkAdapter link(state, lo);
    MainWindow window(state, link, profile);
    window.resize(1920, 1080);
    window.show();
    PresetStore store(PresetStore::pathIn(dir.path().toStdString()));
    store.OpenDatabase();
    DeviceSettingsPage* page = window.deviceSettingsPage();
    page->setSceneStore(&store);
    ScenePanel* scenes = page->scenePanel();
    scenes->save();
    QCoreApplication::processEvents();

    std::vector<double> recall;
    for (int i = 0; i < 30; ++i) {
        state.in(1 + i % 12).level = i; // something for the pages to follow
        const Steady::time_point a = Steady::now();
        scenes->recall(1);
        recall.push_back(ms(Steady::now() - a));
        QCoreApplication::processEvents();
    }
    report("recall (load, every page following)", recall);

    RecordingSink sink;
    state.link.linkOnline = true; // the runner only reads the flag; the frames stay in the sink
    UploadRunner runner(
        state, sink, [] { return true; }, nullptr);
    runner.start();
    std::vector<double> steps;
    while (runner.running()) {
        const Steady::time_point a = Steady::now();
        runner.step();
        steps.push_back(ms(Steady::now() - a));
    }
    report("upload step (build and queue one frame)", steps);
    std::printf("upload: %zu frames queued\n", sink.frames.size());
    return 0;
}
