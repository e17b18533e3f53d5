// The column beside the strips: which mix bus the faders show, the view of a control group's
// members, CLEAR MUTE / CLEAR SOLO, and shortcuts to the 48V, SYSTEM and GROUPS pages.
#pragma once

#include <array>

#include "pages/page.h"

namespace quorvel {
class EditSink;
class ImageButton;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class SidePanel : public Page {
    Q_OBJECT
public:
    static constexpr int kBuses = 7; // LR, AUX1..AUX6

    SidePanel(DeviceState& state, EditSink& sink, QWidget* parent);

    void refresh() override;
    void setLanguage(int languageFlag) override;

    int bus() const { return bus_; }
    int viewedGroup() const { return viewedGroup_; }
    // The main window's HOME: both page toggles off, the LR bus selected.
    void resetModes();
    // Marks SYSTEM selected and GROUP not (the main window's settings button).
    void markSystem();

signals:
    void busSelected(int bus);          // 1 LR, 3..8 AUX1..AUX6
    void groupViewRequested(int group); // 1..4, 0 leaves the group view
    void tabRequested(int tab);         // 1 SYSTEM, 4 GROUPS, 5 48V
    void stateCleared();                // after CLEAR MUTE / CLEAR SOLO

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutControls();
    void selectBus(int bus);
    void viewGroup(int group);

    EditSink& sink_;
    int bus_ = 1;
    int viewedGroup_ = 0;
    SkinLabel* busTitle_;
    std::array<ImageButton*, kBuses> buses_{};
    SkinLabel* viewTitle_;
    std::array<ImageButton*, kControlGroups> groups_{};
    ImageButton* return_;
    ImageButton* clearMute_;
    ImageButton* clearSolo_;
    ImageButton* phantom_;
    ImageButton* system_;
    ImageButton* groupPage_;
};

} // namespace quorvel::ui
