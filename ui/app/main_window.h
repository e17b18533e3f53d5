// The one top-level window: the header's navigation, the pages laid out by the page host from the
// shared navigation, the readout, the link indicator and status label, and the orderly close.
#pragma once

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <memory>

#include "app/page_host.h"
#include "link/change_set.h"
#include "link/device_state.h"
#include "link/reports.h"
#include "session/navigation_model.h"

class QMenu;
class QScrollArea;

namespace quorvel {
class EditSink;
class PresetStore;
} // namespace quorvel

namespace quorvel::ui {

class DeviceSettingsPage;
class EditController;
class LinkAdapter;
class LockActions;
class Page;
class Profile;
class ReadoutPanel;
class WindowHeader;

class MainWindow : public QMainWindow, private ShellPort {
    Q_OBJECT
public:
    static constexpr int kPageTop = 200;
    static constexpr int kMinStripWidth = 150;
    static constexpr int kMinPageHeight = 700;

    // presets: the preset library the pages' lists use; none, and they offer only SAVE PRESET.
    MainWindow(DeviceState& state, LinkAdapter& link, const Profile& profile, QWidget* parent = nullptr,
               PresetStore* presets = nullptr);
    ~MainWindow() override;

    // Layout metrics from a client size: strip width 2/21 of the width (at least 150), page height
    // the height less 220 (at least 700).
    static int stripWidthFor(int clientWidth);
    static int pageHeightFor(int clientHeight);
    // Shown maximised; where the platform does not maximise (no window manager), the window
    // already covers the screen's available area.
    static void showMaximisedOnScreen(QWidget& window);

    int stripWidth() const { return stripWidth_; }
    int pageHeight() const { return pageHeight_; }

    NavigationModel& navigation() { return nav_; }
    const NavigationModel& navigation() const { return nav_; }
    EditController& edits() const { return *edits_; }
    const PageHost& pages() const { return *host_; }
    ReadoutPanel* readout() const { return readout_; }
    DeviceSettingsPage* deviceSettingsPage() const;
    QWidget* canvas() const { return canvas_; }
    QScrollArea* scrollArea() const { return scroll_; }
    bool closing() const { return closing_; }
    QMenu* editMenu() const { return editMenu_; }
    QMenu* deviceMenu() const { return deviceMenu_; }
    QMenu* viewMenu() const { return viewMenu_; }
    LockActions* lock() const { return lock_; }
    bool linkOnline() const { return state_.link.linkOnline; }
    const DeviceState& state() const { return state_; }

    void setLanguage(int languageFlag);
    // A frame that could not go out (refused address, socket error): the status label says so
    // until the link's state changes again.
    void showSendFailure(const QString& error, quint64 failures);

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ShellPort
    void showReadout(int readoutChannel, int kind) override;
    void scrollHome() override;

    void openAbout();
    void wireHeader();
    void relayout();
    void placeCanvas();
    void markControlGroup();
    void clientResized();
    void onNavigation(unsigned aspects);
    void onReport(const DispatchResult& r, const ChangeSet& changes);
    void closeTick();

    DeviceState& state_;
    LinkAdapter& link_;
    const Profile& profile_;
    std::unique_ptr<EditSink> sink_; // page edits into the paced sender
    std::unique_ptr<EditController> edits_;
    NavigationModel nav_;
    std::unique_ptr<PageContext> ctx_;
    std::unique_ptr<PageHost> host_;

    int stripWidth_ = 100;
    int pageHeight_ = 500;
    bool initialised_ = false;
    bool closing_ = false;
    bool closeDone_ = false;
    QTimer closeTimer_;

    QScrollArea* scroll_ = nullptr;
    QWidget* canvas_ = nullptr;
    ReadoutPanel* readout_ = nullptr; // 1052..1055
    WindowHeader* header_ = nullptr;
    QMenu* editMenu_ = nullptr;
    QMenu* deviceMenu_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    LockActions* lock_ = nullptr;
};

} // namespace quorvel::ui
