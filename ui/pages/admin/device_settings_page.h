// The SYSTEM tab's page. Its CONNECT tab chooses the device address (stored in the profile),
// connects, disconnects and goes offline; the busy popup covers the handshake.
#pragma once

#include <array>

#include "pages/page.h"

class QLabel;
class QLineEdit;
class QTreeWidget;

namespace quorvel::ui {

class BusyPopup;
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

signals:
    // CONNECT sends the window back to its origin before the popup appears.
    void connectPressed();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void onConnectButton(bool pressed, const QString& caption);
    void onBusyPopup(bool show);

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
    QLabel* laterNote_;
    BusyPopup* popup_;
    FirmwareTab* firmwareTab_;   // HELP
    VersionLabels* setVersions_; // SET
};

} // namespace quorvel::ui
