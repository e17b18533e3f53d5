#include "app/screenshot_walker.h"

#include <QDir>
#include <QMenu>
#include <QPixmap>
#include <QTabWidget>
#include <cstdio>

#include "app/about_box.h"
#include "app/log_dock.h"
#include "app/main_window.h"
#include "binding/edit_controller.h"
#include "controls/drop_list.h"
#include "controls/image_button.h"
#include "link/device_state.h"
#include "link/field_registry.h"
#include "link/reports.h"
#include "pages/admin/device_settings_page.h"
#include "pages/admin/scene_panel.h"
#include "pages/admin/unit_panel.h"
#include "pages/page.h"
#include "widgets/busy_popup.h"
#include "widgets/name_dialog.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {
constexpr int kSettleMs = 600; // lets live meters move between two pages
constexpr int kLinkWaitMs = 10000;
} // namespace

ScreenshotWalker::ScreenshotWalker(MainWindow& w, QString outDir, bool waitForLink)
    : window_(w), outDir_(std::move(outDir)), waitForLink_(waitForLink) {
    NavigationModel& nav = w.navigation();
    auto view = [&nav](StripView v) { return [&nav, v] { nav.showView(v, nav.bus(), Tab::Channel); }; };
    auto tab = [&nav](Tab t) { return [&nav, t] { nav.setTab(t); }; };
    auto detail = [&nav](DetailPage d, int ch) { return [&nav, d, ch] { nav.openDetail(d, ch); }; };
    steps_ = {
        {"01-channel-ch1-8", view(StripView::Ch1to8), {}},
        {"02-channel-ch9-12", view(StripView::Ch9to12), {}},
        {"03-channel-effect-returns", view(StripView::Effect), {}},
        {"04-channel-outputs", view(StripView::Outputs), {}},
        {"05-system-connect", tab(Tab::System), {}},
        {"06-matrix", tab(Tab::Matrix), {}},
        {"07-mode", tab(Tab::Mode), {}},
        {"08-groups", tab(Tab::Group), {}},
        {"09-phantom-48v", tab(Tab::Phantom), {}},
        {"10-input-dynamics", detail(DetailPage::Dynamics, 0), {}},
        {"11-input-peq", detail(DetailPage::Peq, 0), {}},
        {"12-input-effect", detail(DetailPage::Effect, 17), {}},
        {"13-input-aux", detail(DetailPage::Aux, 0), {}},
        {"14-output-limiter", detail(DetailPage::Limiter, 0), {}},
        {"15-output-geq", detail(DetailPage::Geq, 0), {}},
        {"16-busy-popup",
         [&w, &nav] {
             nav.showView(StripView::Ch1to8, nav.bus(), Tab::Channel);
             w.deviceSettingsPage()->busyPopup()->popup();
         },
         [&w]() -> QWidget* { return w.deviceSettingsPage()->busyPopup(); }},
        // The small dialogs are shown without their own event loop so the walk can go on.
        {"17-name-dialog",
         [this, &w] {
             auto* d = new NameDialog(&w);
             d->setAttribute(Qt::WA_DeleteOnClose);
             d->setName(QStringLiteral("CH 1"));
             d->show();
             dialog_ = d;
         },
         [this]() -> QWidget* { return dialog_; }},
        {"18-about-box",
         [this, &w] {
             auto* d = new AboutBox(&w);
             d->setAttribute(Qt::WA_DeleteOnClose);
             d->show();
             dialog_ = d;
         },
         [this]() -> QWidget* { return dialog_; }},
        {"19-message",
         [this, &w] {
             showMessage(&w, pick("CANNOT CONNECT.", "连接失败."), QString(),
                         QStringLiteral("screenshotMessage"));
             dialog_ = w.findChild<QWidget*>(QStringLiteral("screenshotMessage"));
         },
         [this]() -> QWidget* { return dialog_; }},
        {"20-system-set",
         [&w, &nav] {
             nav.setTab(Tab::System);
             w.deviceSettingsPage()->selectTab(DeviceSettingsPage::SetTab);
         },
         {}},
        {"21-system-help",
         [&w, &nav] {
             nav.setTab(Tab::System);
             w.deviceSettingsPage()->selectTab(DeviceSettingsPage::HelpTab);
         },
         {}},
        // The scenes are made here, in the run's own data directory.
        {"22-system-show",
         [&w, &nav] {
             nav.setTab(Tab::System);
             DeviceSettingsPage* page = w.deviceSettingsPage();
             page->selectTab(DeviceSettingsPage::ShowTab);
             ScenePanel* scenes = page->scenePanel();
             const char* names[][2] = {{"Opening", "开场"}, {"Panel", "讨论"}, {"Q&A", "问答"}};
             for (int i = 0; i < 3; ++i) {
                 if (!scenes->slot(i)->isVisible()) scenes->save();
                 scenes->rename(i + 1, pick(names[i][0], names[i][1]));
             }
         },
         {}},
        {"23-system-display",
         [&w] {
             DeviceSettingsPage* page = w.deviceSettingsPage();
             page->selectTab(DeviceSettingsPage::DisplayTab);
             // Two slots of the first unit taken: a channel and an M target.
             UnitPanel* units = page->unitPanel();
             emit units->selector(0)->itemChosen(units->selector(0)->id(), 1);
             emit units->selector(1)->itemChosen(units->selector(1)->id(), 13);
         },
         {}},
        // The panel alone; closing it after the shot gives the window back its height.
        {"23-log-panel",
         [this, &w] {
             auto* log = w.findChild<LogDock*>(QStringLiteral("logDock"));
             dialog_ = log;
             if (!log) return;
             log->show();
             log->tabs()->setCurrentIndex(1);
         },
         [this]() -> QWidget* { return dialog_; }, 1200},
        // The shell's menus, with something to take back in the Edit menu.
        {"23-menu-edit",
         [this, &w] {
             if (const auto id = FieldRegistry::instance().idOf(w.state(), &w.state().in(3).level))
                 w.edits().edit(*id, w.state().in(3).level == 60 ? 61 : 60);
             showMenu(w.editMenu());
         },
         [this]() -> QWidget* { return dialog_; }},
        {"23-menu-device", [this, &w] { showMenu(w.deviceMenu()); },
         [this]() -> QWidget* { return dialog_; }},
        {"23-menu-view", [this, &w] { showMenu(w.viewMenu()); }, [this]() -> QWidget* { return dialog_; }},
        // Last: the search takes the link offline.
        {"24-system-connect-search",
         [&w] {
             w.deviceSettingsPage()->selectTab(DeviceSettingsPage::ConnectTab);
             w.deviceSettingsPage()->startSearch();
         },
         {},
         3800},
    };
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &ScreenshotWalker::next);
}

void ScreenshotWalker::showMenu(QMenu* menu) {
    dialog_ = menu;
    if (!menu) return;
    menu->popup(window_.mapToGlobal(QPoint(0, 0)));
}

bool ScreenshotWalker::metersMoving() const {
    const DeviceState& st = window_.state();
    bool anyMeter = false;
    for (int k = 0; k < kAnalogInputs; ++k) {
        if (!window_.pages().inputStrip(k)->isVisible()) continue;
        anyMeter = true;
        if (shownMeter(st.input[static_cast<std::size_t>(k)].meter) >= 40) return true;
    }
    for (int k = 0; k < 4; ++k) {
        if (!window_.pages().outputStrip(k)->isVisible()) continue;
        anyMeter = true;
        if (shownMeter(st.output[static_cast<std::size_t>(k)].meter) >= 40) return true;
    }
    return !anyMeter;
}

void ScreenshotWalker::start() {
    QDir().mkpath(outDir_);
    timer_.start(kSettleMs);
}

void ScreenshotWalker::next() {
    // With a device, wait until the handshake is through so the pages show live values.
    if (waitForLink_ && index_ == 0 && waitedMs_ < kLinkWaitMs && !window_.linkOnline()) {
        waitedMs_ += 200;
        timer_.start(200);
        return;
    }
    if (index_ > 0 && waitForLink_ && extraWaitMs_ < 4000 && !metersMoving()) {
        // A demo page is shown with someone talking, not in a pause between phrases.
        extraWaitMs_ += 100;
        timer_.start(100);
        return;
    }
    extraWaitMs_ = 0;
    if (index_ > 0) {
        const Step& done = steps_[index_ - 1];
        QWidget* target = done.target ? done.target() : &window_;
        const QString file = QDir(outDir_).filePath(done.name + ".png");
        if (!target || !target->grab().save(file))
            std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(file));
        if (done.target && target) target->close();
    }
    if (index_ == steps_.size()) {
        window_.close();
        return;
    }
    const int settle = steps_[index_].settleMs > 0 ? steps_[index_].settleMs : kSettleMs;
    steps_[index_].action();
    ++index_;
    timer_.start(settle);
}

} // namespace quorvel::ui
