// The HELP tab of the device settings: LOCAL and UPDATE send the device's two firmware images,
// RECOVERY asks for a factory reset; a progress bar counts the blocks and the version labels
// show what the device said. The transfer runs on a worker of its own; this widget only starts
// it, shows its progress and answers its question. The SET tab shows the same version labels
// (VersionLabels).
#pragma once

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "link/device_state.h"

class QLabel;
class QProgressBar;
class QTimer;

namespace quorvel::firmware {
class FirmwareUpdater;
struct UpdateResult;
struct Versions;
struct FirmwareTiming;
} // namespace quorvel::firmware

namespace quorvel::ui {

class LinkAdapter;
class NavButton;
class Profile;

// "Hardware version：3.2", "Local version：0.0", "Basic version：2.5", and after a remote check
// "Current version" and "Remote version".
class VersionLabels : public QWidget {
    Q_OBJECT
public:
    VersionLabels(const DeviceState& state, QWidget* parent);
    void setLanguage(int languageFlag);
    void refresh();
    void setRemote(const QString& current, const QString& remote); // empty hides them

private:
    const DeviceState& state_;
    int language_ = 1;
    QString current_, remote_;
    QLabel* hardware_;
    QLabel* local_;
    QLabel* basic_;
    QLabel* currentLabel_;
    QLabel* remoteLabel_;
};

class FirmwareTab : public QWidget {
    Q_OBJECT
public:
    FirmwareTab(DeviceState& state, LinkAdapter& link, const Profile& profile, QWidget* parent);
    ~FirmwareTab() override; // cancels a transfer under way and waits for its worker

    void setLanguage(int languageFlag);
    void refresh();

    void pressLocal();
    void pressUpdate();
    void pressRecovery();
    // LOCAL once its question has been answered with OK.
    void startLocal() { request(Flow::Local); }
    bool transferRunning() const { return worker_.joinable(); }
    // The version page's address: the profile's "updateurl"; UPDATE is shown only when it is set.
    QString updateUrl() const { return updateUrl_; }
    // Tests: the waits of the transfer (the device's by default).
    void setTiming(const firmware::FirmwareTiming& timing);

signals:
    // RECOVERY confirmed: the factory reset runs (it clears updateBusy when done).
    void recoveryConfirmed();
    // The update socket is about to take the link port: a device search must stop listening.
    void transferStarting();
    void transferFinished(bool success);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    enum class Flow { Local, Remote };
    void request(Flow flow);
    void startWhenLinkHasGone();
    void startWorker();
    void onProgress(int target, int sent, int total);
    void onFinished(const firmware::UpdateResult& result);
    void ask(const QString& text, const QString& objectName, std::function<void(bool)> then);
    void showInfo(const QString& text, const QString& caption, const QString& objectName);

    DeviceState& state_;
    LinkAdapter& link_;
    const Profile& profile_;
    int language_ = 1;
    QString updateUrl_;
    NavButton* local_;
    NavButton* update_;
    NavButton* recovery_;
    QProgressBar* progress_;
    QLabel* progressText_;
    VersionLabels* versions_;
    QTimer* startTimer_;
    Flow flow_ = Flow::Local;
    int waitTicks_ = 0;
    bool wasOnline_ = false;       // the link had to be taken down first
    bool askedToContinue_ = false; // the version query failed and the user was asked
    std::unique_ptr<firmware::FirmwareTiming> timing_;
    std::unique_ptr<firmware::FirmwareUpdater> updater_;
    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> alive_;
    QObject* watchedWindow_ = nullptr;
};

} // namespace quorvel::ui
