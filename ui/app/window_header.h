// The window's header above the page area: tab and view buttons, the mute- and control-group
// buttons, the link lamp and status label, and the place of the readout. It lays itself out on
// the canvas from the strip width and marks what the navigation shows; the window wires it.
#pragma once

#include <QObject>
#include <QString>

#include <array>

#include "link/device_state.h"
#include "session/navigation_model.h"

class QLabel;
class QWidget;

namespace quorvel::ui {

class NavButton;

class WindowHeader : public QObject {
    Q_OBJECT
public:
    WindowHeader(NavigationModel& nav, QWidget* canvas, QWidget* readout);

    // Positions from the strip width W (the header does not depend on the page height).
    void place(int stripWidth);
    // The tab and view buttons show where the navigation is; a click on the button already
    // shown undoes its own toggle this way.
    void mark();
    void markControlGroup(int selected); // 0..3, -1 none
    void setLanguage(int languageFlag);
    // The view buttons draw their strips' faders.
    void showThumbnails(const DeviceState& state);
    void setStatus(bool online, const QString& text);
    void showSendFailure(const QString& error, quint64 failures);
    void setLinkLamp(bool on);
    void setReportLamp(bool on);

signals:
    void settingsRequested(); // the link button while unlit
    void muteGroupToggled(int group, bool on);
    void controlGroupClicked(int group);

private:
    NavigationModel& nav_;
    QWidget* readout_;
    int language_ = 1;
    bool online_ = false;
    std::array<NavButton*, 5> tabs_{};  // CHANNEL, MATRIX, MODE, SYSTEM, GROUPS
    std::array<NavButton*, 4> views_{}; // CH1-8, CH9-12, EFFECT (hidden), OUTPUTS
    std::array<QLabel*, 4> viewLabels_{};
    std::array<NavButton*, kMuteGroups> muteGroups_{};
    std::array<NavButton*, kControlGroups> controlGroups_{};
    NavButton* linkLamp_ = nullptr;   // 1003
    NavButton* reportLamp_ = nullptr; // 1004, hidden
    NavButton* menuToggle_ = nullptr; // 1005, hidden
    QLabel* home_ = nullptr;          // 1060, hidden
    QLabel* muteGroupsLabel_ = nullptr;
    QLabel* controlGroupsLabel_ = nullptr;
    QLabel* status_ = nullptr; // 1059
};

} // namespace quorvel::ui
