// The SYSTEM tab's page. Its CONNECT tab chooses the device address (stored in the profile),
// connects, disconnects and goes offline; the busy popup covers the handshake.
#pragma once

#include <array>

#include "pages/page.h"
#include "pages/page_context.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorvel {
class PresetStore;
}

namespace quorvel::ui {

class BusyPopup;
class DeviceSearch;
class ScenePanel;
class UnitPanel;
class UploadRunner;
class FirmwareTab;
class VersionLabels;
class LinkAdapter;
class NavButton;
class Profile;

class DeviceSettingsPage : public Page {
    Q_OBJECT
public:
    enum Tab { ConnectTab = 0, SetTab, ShowTab, HelpTab, DisplayTab, TabCount };

    DeviceSettingsPage(DeviceState& state, LinkAdapter& link, const Profile& profile, QWidget* parent);
    // With the edit path: the SHOW and DISPLAY tabs, the search and the factory reset.
    DeviceSettingsPage(const PageContext& ctx, QWidget* parent);
    ~DeviceSettingsPage() override;

    void refresh() override;
    void setLanguage(int languageFlag) override;
    void selectTab(int tab);
    int currentTab() const { return tab_; }
    BusyPopup* busyPopup() const { return popup_; }
    FirmwareTab* firmwareTab() const { return firmwareTab_; }

    // The address field's OK: refuses a malformed address with a message and stores nothing.
    bool applyAddress();
    bool applySpanTime();
    void pressConnect();

    // Search: offline first (the search socket needs the link's port), then the sweep.
    void startSearch();
    DeviceSearch* search() const { return deviceSearch_; }
    QTreeWidget* searchList() const { return searchList_; }
    // The scenes live in the preset store, which opens after the window.
    void setSceneStore(PresetStore* store);
    ScenePanel* scenePanel() const { return scenePanel_; }
    UnitPanel* unitPanel() const { return unitPanel_; }
    UploadRunner* uploadRunner() const { return upload_; }
    // The automatic reconnection setting; the shell's link actions own what it does.
    QCheckBox* reconnectBox() const { return reconnectBox_; }

public slots:
    // RECOVERY: asks, then factory settings, sent to the device while online.
    void requestFactoryReset();
    void factoryReset();

signals:
    // CONNECT sends the window back to its origin before the popup appears.
    void connectPressed();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void onConnectButton(bool pressed, const QString& caption);
    void onBusyPopup(bool show);
    void beginSweep();
    void stopSearch();
    void addSearchRow(const QString& ip, int port);
    void chooseSearchRow(QTreeWidgetItem* item);

    LinkAdapter& link_;
    const Profile& profile_;
    int tab_ = ConnectTab;
    int language_ = 1;
    QString title_;
    std::array<NavButton*, TabCount> tabButtons_{};
    QLabel* ipLabel_;
    QLineEdit* addressField_;
    NavButton* addressOk_;
    QLabel* spanLabel_;
    QLineEdit* spanField_;
    NavButton* spanOk_;
    NavButton* search_;
    NavButton* connect_;
    NavButton* offline_;
    QTreeWidget* searchList_;
    BusyPopup* popup_;
    const PageContext* ctx_ = nullptr;
    DeviceSearch* deviceSearch_ = nullptr;
    QProgressBar* searchProgress_ = nullptr;
    UploadRunner* upload_ = nullptr;
    ScenePanel* scenePanel_ = nullptr;
    UnitPanel* unitPanel_ = nullptr;
    bool resetting_ = false;
    bool sweepPending_ = false;
    QCheckBox* reconnectBox_ = nullptr;
    FirmwareTab* firmwareTab_;   // HELP
    VersionLabels* setVersions_; // SET
};

} // namespace quorvel::ui
