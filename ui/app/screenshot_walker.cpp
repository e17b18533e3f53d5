#include "app/screenshot_walker.h"

#include <QDir>
#include <QPixmap>
#include <cstdio>

#include "app/about_box.h"
#include "app/main_window.h"
#include "link/device_state.h"
#include "link/reports.h"
#include "pages/admin/device_settings_page.h"
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
    auto view = [&w](int v) { return [&w, v] { w.showView(v, w.bus(), MainWindow::ChannelTab); }; };
    auto tab = [&w](int t) { return [&w, t] { w.showView(w.view(), w.bus(), t); }; };
    steps_ = {
        {"01-channel-ch1-8", view(MainWindow::Ch1to8), {}},
        {"02-channel-ch9-12", view(MainWindow::Ch9to12), {}},
        {"03-channel-effect-returns", view(MainWindow::EffectView), {}},
        {"04-channel-outputs", view(MainWindow::OutputsView), {}},
        {"05-system-connect", tab(MainWindow::SystemTab), {}},
        {"06-matrix", tab(MainWindow::MatrixTab), {}},
        {"07-mode", tab(MainWindow::ModeTab), {}},
        {"08-groups", tab(MainWindow::GroupTab), {}},
        {"09-phantom-48v", tab(MainWindow::PhantomTab), {}},
        {"10-input-dynamics", [&w] { w.openInputDetail(0, 1); }, {}},
        {"11-input-peq", [&w] { w.openInputDetail(0, 2); }, {}},
        {"12-input-effect", [&w] { w.openInputDetail(17, 3); }, {}},
        {"13-input-aux", [&w] { w.openInputDetail(0, 4); }, {}},
        {"14-output-limiter", [&w] { w.openOutputDetail(0, 1); }, {}},
        {"15-output-geq", [&w] { w.openOutputDetail(0, 2); }, {}},
        {"16-busy-popup",
         [&w] {
             w.showView(MainWindow::Ch1to8, w.bus(), MainWindow::ChannelTab);
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
    };
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &ScreenshotWalker::next);
}

bool ScreenshotWalker::metersMoving() const {
    const DeviceState& st = window_.state();
    bool anyMeter = false;
    for (int k = 0; k < kAnalogInputs; ++k) {
        if (!window_.inputStripPage(k)->isVisible()) continue;
        anyMeter = true;
        if (shownMeter(st.input[static_cast<std::size_t>(k)].meter) >= 40) return true;
    }
    for (int k = 0; k < 4; ++k) {
        if (!window_.outputStripPage(k)->isVisible()) continue;
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
    steps_[index_].action();
    ++index_;
    timer_.start(kSettleMs);
}

} // namespace quorvel::ui
