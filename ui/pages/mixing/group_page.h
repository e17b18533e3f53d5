// The GROUPS tab: membership of the four mute groups and the four control groups, and the
// control groups' link flags. Changes stay in DeviceState; they reach the device through the
// members' own commands and the next bulk transfer.
#pragma once

#include <array>

#include "pages/page.h"

namespace quorvel {
class ImageButton;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class GroupPage : public Page {
    Q_OBJECT
public:
    static constexpr int kControlInputs = 18;
    static constexpr int kMuteInputs = 12;
    static constexpr int kLinkFlags = 11;

    GroupPage(DeviceState& state, QWidget* parent);

    void refresh() override;
    void setLanguage(int languageFlag) override;

    int selectedControlGroup() const { return controlGroup_; }
    int selectedMuteGroup() const { return muteGroup_; }
    // Radio-like: choosing the selected group again deselects it (-1).
    void selectControlGroup(int group);
    void selectMuteGroup(int group);

signals:
    // Membership or flags changed: strips that copy group data re-read it.
    void groupsChanged();
    // The control group being edited, -1 for none.
    void controlGroupSelected(int group);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutControls();
    void toggleControl(int element);
    void toggleMute(int element);

    int controlGroup_ = -1;
    int muteGroup_ = -1;
    int language_ = 1;

    SkinLabel* muteTitle_;
    SkinLabel* controlTitle_;
    SkinLabel* groupName_;
    SkinLabel* memberCount_;
    SkinLabel* linkTitle_;
    std::array<ImageButton*, kMuteGroups> muteSelect_{};
    std::array<ImageButton*, kMuteInputs> muteInputs_{};
    std::array<ImageButton*, kOutputRecords> muteOutputs_{};
    std::array<ImageButton*, kControlGroups> controlSelect_{};
    std::array<ImageButton*, kControlInputs> controlInputs_{};
    std::array<ImageButton*, kOutputRecords> controlOutputs_{};
    std::array<ImageButton*, kLinkFlags> flags_{};
};

} // namespace quorvel::ui
