// The column beside the strips: which mix bus the faders show, the view of a control group's
// members, CLEAR MUTE / CLEAR SOLO, and shortcuts to the 48V, SYSTEM and GROUPS pages. The bus
// and the viewed group live in the navigation the shell shares; the panel only shows them.
#pragma once

#include <array>

#include "pages/page.h"

namespace quorvel {
class ImageButton;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class EditController;
class NavigationModel;

class SidePanel : public Page {
    Q_OBJECT
public:
    static constexpr int kBuses = 7; // LR, AUX1..AUX6

    SidePanel(EditController& edits, NavigationModel& nav, QWidget* parent);
    ~SidePanel() override;

    void refresh() override;
    void setLanguage(int languageFlag) override;

    // Marks SYSTEM selected and GROUP not (the main window's settings button).
    void markSystem();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutControls();

    EditController& edits_;
    NavigationModel& nav_;
    int listener_ = 0;
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
