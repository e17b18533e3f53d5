// The GROUPS tab: membership of the four mute groups and the four control groups, and the
// control groups' link flags. Changes stay in DeviceState; they reach the device through the
// members' own commands and the next bulk transfer. The member and flag buttons are bound to
// the selected group's fields and re-pointed when the selection changes.
#pragma once

#include <array>
#include <vector>

#include "pages/page.h"
#include "pages/page_context.h"

namespace quorvel {
class ImageButton;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class FieldBinding;

class GroupPage : public Page {
    Q_OBJECT
public:
    static constexpr int kControlInputs = 18;
    static constexpr int kMuteInputs = 12;
    static constexpr int kLinkFlags = 11;

    GroupPage(const PageContext& ctx, QWidget* parent);

    void refresh() override;
    void setLanguage(int languageFlag) override;

    int selectedControlGroup() const { return controlGroup_; }
    int selectedMuteGroup() const { return muteGroup_; }
    // Radio-like: choosing the selected group again deselects it (-1).
    void selectControlGroup(int group);
    void selectMuteGroup(int group);

signals:
    // The control group being edited, -1 for none.
    void controlGroupSelected(int group);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutControls();
    void toggleControl(int element);
    void toggleMute(int element);
    void bindMute(ImageButton* b, int element);
    void bindControl(ImageButton* b, int element, bool member);
    void rebind();
    void refreshNames();
    void refreshMemberCount();

    EditController& edits_;
    std::vector<FieldBinding*> muteBindings_; // element of each: muteElements_
    std::vector<int> muteElements_;
    std::vector<FieldBinding*> controlBindings_; // members and flags; element of each: controlElements_
    std::vector<int> controlElements_;
    FieldBinding* countWatch_ = nullptr;

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
