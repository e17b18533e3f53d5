// The link's headers come before Qt's, whose keyword macros would otherwise rewrite them.
#include "admin/firmware_update.h"
#include "link/device_link.h"
#include "link/profile.h"
#include "log/event_log.h"

#include "pages/admin/firmware_tab.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <future>

#include "session/app_profile.h"
#include "session/link_adapter.h"
#include "widgets/name_dialog.h"
#include "widgets/nav_button.h"
#include "widgets/skin_painter.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

using namespace std::chrono_literals;

QLabel* makeLabel(QWidget* parent, const char* objectName, int pixels = 14) {
    auto* l = new QLabel(parent);
    l->setObjectName(objectName);
    l->setFont(skin::uiFont(pixels, true));
    skin::styleLabel(l);
    return l;
}

NavButton* makeButton(QWidget* parent, const char* objectName, int x, int width) {
    auto* b = new NavButton(NavButton::Style::Small, parent);
    b->setCheckable(false);
    b->setObjectName(objectName);
    b->setGeometry(x, 16, width, 38);
    return b;
}

// "32" shown x 0.1 is 3.2; anything but digits shows 0.
double shown(const std::string& digits, double scale) {
    return static_cast<double>(firmware::versionNumber(digits).value_or(0)) * scale;
}

QString versionLine(int lang, const char* en, const char* zh, double value) {
    // The colon is the full-width one in both languages.
    return pick(lang, en, zh) + QString::fromUtf8("：") + QString::number(value, 'f', 1);
}

} // namespace

// ---- VersionLabels ---------------------------------------------------------------------------

VersionLabels::VersionLabels(const DeviceState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName("versionLabels");
    hardware_ = makeLabel(this, "hardwareVersionLabel");
    local_ = makeLabel(this, "localVersionLabel");
    basic_ = makeLabel(this, "basicVersionLabel");
    currentLabel_ = makeLabel(this, "currentVersionLabel");
    remoteLabel_ = makeLabel(this, "remoteVersionLabel");
    int y = 0;
    for (QLabel* l : {hardware_, local_, basic_, currentLabel_, remoteLabel_}) {
        l->setGeometry(0, y, 400, 26);
        y += 30;
    }
    setLanguage(languageFlag());
}

void VersionLabels::setLanguage(int lang) {
    language_ = lang;
    refresh();
}

void VersionLabels::refresh() {
    hardware_->setText(
        versionLine(language_, "Hardware version", "固件版本", shown(state_.hardwareVersion, 0.1)));
    // Nothing in this program knows a version of the local files.
    local_->setText(versionLine(language_, "Local version", "本地升级版本", 0.0));
    basic_->setText(versionLine(language_, "Basic version", "基带版本", shown(state_.basicVersion, 0.01)));
    const bool remote = !remote_.isEmpty();
    currentLabel_->setVisible(remote);
    remoteLabel_->setVisible(remote);
    if (remote) {
        currentLabel_->setText(
            versionLine(language_, "Current version", "当前版本", shown(current_.toStdString(), 0.1)));
        remoteLabel_->setText(
            versionLine(language_, "Remote version", "最新升级版本", shown(remote_.toStdString(), 0.1)));
    }
}

void VersionLabels::setRemote(const QString& current, const QString& remote) {
    current_ = current;
    remote_ = remote;
    refresh();
}

// ---- FirmwareTab -----------------------------------------------------------------------------

FirmwareTab::FirmwareTab(DeviceState& state, LinkAdapter& link, const Profile& profile, QWidget* parent)
    : QWidget(parent), state_(state), link_(link), profile_(profile),
      alive_(std::make_shared<std::atomic<bool>>(true)) {
    setObjectName("firmwareTab");
    local_ = makeButton(this, "localButton", 16, 150);
    update_ = makeButton(this, "updateButton", 180, 150);
    recovery_ = makeButton(this, "recoveryButton", 344, 220);
    connect(local_, &NavButton::clicked, this, &FirmwareTab::pressLocal);
    connect(update_, &NavButton::clicked, this, &FirmwareTab::pressUpdate);
    connect(recovery_, &NavButton::clicked, this, &FirmwareTab::pressRecovery);

    progress_ = new QProgressBar(this);
    progress_->setObjectName("firmwareProgress");
    progress_->setGeometry(16, 72, 548, 20);
    progress_->setTextVisible(false);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setStyleSheet(
        "QProgressBar { background: #0B0D10; border: 1px solid #2C3138; border-radius: 3px; }"
        "QProgressBar::chunk { background: #F0A030; border-radius: 2px; }");
    progressText_ = makeLabel(this, "firmwareProgressText", 13);
    skin::styleLabel(progressText_, skin::LabelTone::Dim);
    progressText_->setGeometry(16, 98, 548, 24);

    versions_ = new VersionLabels(state_, this);
    versions_->setGeometry(16, 152, 548, 150);

    startTimer_ = new QTimer(this);
    startTimer_->setInterval(50);
    connect(startTimer_, &QTimer::timeout, this, &FirmwareTab::startWhenLinkHasGone);

    const auto url =
        readProfileValue(profilePath(profile_.dataDir().toStdString()), kProfileSection, "updateurl");
    updateUrl_ = QString::fromStdString(url.value_or(std::string()));
    update_->setVisible(!updateUrl_.isEmpty());
    if (updateUrl_.isEmpty()) recovery_->move(180, 16); // no gap where UPDATE would stand
    setLanguage(languageFlag());
}

FirmwareTab::~FirmwareTab() {
    *alive_ = false;
    if (updater_) updater_->cancel();
    if (worker_.joinable()) worker_.join();
}

void FirmwareTab::setTiming(const firmware::FirmwareTiming& timing) {
    timing_ = std::make_unique<firmware::FirmwareTiming>(timing);
}

void FirmwareTab::setLanguage(int lang) {
    language_ = lang;
    local_->setText(pick(lang, "LOCAL", "本地升级"));
    update_->setText(pick(lang, "UPDATE", "远程升级"));
    recovery_->setText(pick(lang, "RECOVERY", "恢复出厂设置"));
    versions_->setLanguage(lang);
}

void FirmwareTab::refresh() {
    versions_->refresh();
}

void FirmwareTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Closing the window while an image is on its way asks first.
    if (QWidget* w = window(); w && w != watchedWindow_) {
        if (watchedWindow_) watchedWindow_->removeEventFilter(this);
        watchedWindow_ = w;
        w->installEventFilter(this);
    }
}

void FirmwareTab::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The same quiet frame as the connection controls, around the buttons and the progress.
    skin::paintGroupFrame(p, QRectF(0, 0, 580, 136));
}

bool FirmwareTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_ && event->type() == QEvent::Close && transferRunning()) {
        event->ignore();
        ask(pick(language_, "A firmware update is under way. Stop it and close?",
                 "正在升级固件。是否停止升级并关闭？"),
            "closeDuringUpdate", [this](bool yes) {
                if (!yes) return;
                if (updater_) updater_->cancel();
                if (worker_.joinable()) worker_.join();
                updater_.reset();
                state_.updateBusy = false;
                if (watchedWindow_) QMetaObject::invokeMethod(watchedWindow_, "close", Qt::QueuedConnection);
            });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FirmwareTab::ask(const QString& text, const QString& objectName, std::function<void(bool)> then) {
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("QUORVEL 3.2"), text,
                                QMessageBox::Ok | QMessageBox::Cancel, this);
    box->setObjectName(objectName);
    box->button(QMessageBox::Ok)->setText(pick(language_, "OK", "确定"));
    box->button(QMessageBox::Cancel)->setText(pick(language_, "Cancel", "取消"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this,
            [then = std::move(then)](int result) { then(result == QMessageBox::Ok); });
    box->open();
}

void FirmwareTab::showInfo(const QString& text, const QString& caption, const QString& objectName) {
    showMessage(this, text, caption, objectName);
}

void FirmwareTab::pressLocal() {
    if (state_.updateBusy) {
        showInfo("Updateing.......", QString(), "updateBusy");
        return;
    }
    ask(pick(language_, "If do you update the device? ", "是否要升级？"), "updateQuestion", [this](bool ok) {
        if (ok) request(Flow::Local);
    });
}

void FirmwareTab::pressUpdate() {
    if (state_.updateBusy) {
        showInfo("Updateing.......", QString(), "updateBusy");
        return;
    }
    request(Flow::Remote);
}

void FirmwareTab::pressRecovery() {
    if (state_.updateBusy) {
        showInfo("Reseting device.......", QString(), "resetBusy");
        return;
    }
    ask(pick(language_, "If do you recovery the device? ", "是否要恢复出厂化设置？"), "recoveryQuestion",
        [this](bool ok) {
            if (!ok) return;
            logEvent("Factory reset requested");
            emit recoveryConfirmed();
        });
}

void FirmwareTab::request(Flow flow) {
    if (state_.updateBusy) return; // a second question answered while the first update runs
    state_.updateBusy = true;
    flow_ = flow;
    logEvent(flow == Flow::Local ? "Firmware update started: local images"
                                 : "Firmware update started: images from the update server");
    versions_->setRemote({}, {});
    // A connection attempt under way is abandoned too: its retries would otherwise go on into
    // the update's socket.
    wasOnline_ = state_.link.linkOnline || state_.link.handshakePending || state_.link.socketReady;
    if (state_.link.linkOnline) {
        for (OutgoingFrame& f : firmware::reportStopFrames())
            link_.queueFrame(std::move(f));
    }
    if (wasOnline_) link_.workOffline();
    askedToContinue_ = false;
    emit transferStarting();
    waitTicks_ = 0;
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progressText_->clear();
    startTimer_->start();
    startWhenLinkHasGone();
}

void FirmwareTab::startWhenLinkHasGone() {
    // The link's last Q 0 goes out first; then its socket is released so the update's own can
    // bind the port. A queue that will not empty is dropped after two seconds.
    ++waitTicks_;
    if (wasOnline_ && !link_.closeFinished() && waitTicks_ < 40) return;
    startTimer_->stop();
    link_.link().releaseSocket(0ms);
    startWorker();
}

void FirmwareTab::startWorker() {
    firmware::UpdateSettings settings;
    settings.host = state_.link.hostAddress;
    settings.port = static_cast<std::uint16_t>(state_.link.udpPort & 0xFFFF);
    settings.bindAddress = link_.link().bindAddress();
    if (timing_) settings.timing = *timing_;
    settings.languageFlag = language_;

    firmware::UpdateEvents events;
    events.progress = [this](int target, int sent, int total) {
        QMetaObject::invokeMethod(
            this, [this, target, sent, total] { onProgress(target, sent, total); }, Qt::QueuedConnection);
    };
    events.versions = [this](const firmware::Versions& v) {
        QMetaObject::invokeMethod(
            this,
            [this, v] {
                logEvent("Firmware: device reports hardware " + v.hardware + ", basic " + v.basic +
                         (v.remote.empty() ? std::string() : ", update server offers " + v.remote));
                state_.hardwareVersion = v.hardware;
                state_.basicVersion = v.basic;
                versions_->setRemote(v.remote.empty() ? QString() : QString::fromStdString(v.hardware),
                                     QString::fromStdString(v.remote));
            },
            Qt::QueuedConnection);
    };
    auto alive = alive_;
    events.continueWithoutVersion = [this, alive] {
        auto answer = std::make_shared<std::promise<bool>>();
        auto once = std::make_shared<std::atomic<bool>>(false);
        std::future<bool> result = answer->get_future();
        QMetaObject::invokeMethod(
            this,
            [this, answer, once] {
                askedToContinue_ = true;
                showInfo(pick(language_, "Get version error.", "读取版本失败."), QString(), "versionError");
                ask(pick(language_, "If do you continue to update the device？", "是否要继续升级？"),
                    "continueQuestion", [answer, once](bool ok) {
                        if (!once->exchange(true)) answer->set_value(ok);
                    });
            },
            Qt::QueuedConnection);
        while (result.wait_for(100ms) != std::future_status::ready)
            if (!*alive) return false;
        return result.get();
    };

    updater_ = std::make_unique<firmware::FirmwareUpdater>(settings, events);
    const std::filesystem::path dir = profile_.dataDir().toStdString();
    const Flow flow = flow_;
    const std::string url = updateUrl_.toStdString();
    firmware::FirmwareUpdater* up = updater_.get();
    worker_ = std::thread([this, up, flow, dir, url] {
        firmware::UpdateResult r =
            flow == Flow::Local ? up->runLocal({dir, {}, {}}) : up->runRemote(url, dir);
        QMetaObject::invokeMethod(
            this, [this, r] { onFinished(r); }, Qt::QueuedConnection);
    });
}

void FirmwareTab::onProgress(int target, int sent, int total) {
    if (total > 0 && sent == total)
        logEvent(std::string(target == firmware::kTargetDsp ? "Firmware: DSP image sent, "
                                                            : "Firmware: digital image sent, ") +
                 std::to_string(total) + " blocks");
    progress_->setRange(0, std::max(total, 1));
    progress_->setValue(sent);
    const bool dsp = target == firmware::kTargetDsp;
    progressText_->setText((dsp ? pick(language_, "DSP image %1/%2", "DSP固件 %1/%2")
                                : pick(language_, "Digital image %1/%2", "数字固件 %1/%2"))
                               .arg(sent)
                               .arg(total));
}

void FirmwareTab::onFinished(const firmware::UpdateResult& r) {
    if (!updater_) return; // stopped for a close: nothing more to tell
    if (worker_.joinable()) worker_.join();
    updater_.reset();
    state_.updateBusy = false;
    versions_->refresh();
    using firmware::Outcome;
    logEvent(
        "Firmware update finished: " + (r.outcome == Outcome::Success ? std::string("success") : r.message) +
        (r.detail.empty() ? std::string() : " (" + r.detail + ")"));
    // "Get version error." has been said already, before the question.
    if (r.outcome == Outcome::NoVersion && askedToContinue_) {
        emit transferFinished(false);
        return;
    }
    if (!r.deviceReply.empty()) showInfo(QString::fromStdString(r.deviceReply), QString(), "deviceReply");
    QString text = QString::fromStdString(r.message);
    if (!r.detail.empty() && (r.outcome == Outcome::Refused || r.outcome == Outcome::Failed))
        text += "\n" + QString::fromStdString(r.detail);
    const bool warn = r.message == "Update fail." || r.message == "Winsock error!";
    showInfo(text, warn ? QStringLiteral("Warming") : QString(), "updateResult");
    emit transferFinished(r.outcome == Outcome::Success);
}

} // namespace quorvel::ui
