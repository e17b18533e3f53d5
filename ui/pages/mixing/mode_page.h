// The MODE tab: the automixer of channels 1..8. A threshold goes through the SYNC rule of the
// core (one channel, or all eight and nine L frames); the global selectors, LAST HOLD, AUTO/MAN and
// the detectors are single fields carried by M or N; SYNC itself is only stored. The detector
// selectors and AUTO/MAN are built hidden, their handlers wired.
#pragma once

#include <array>

#include "pages/page.h"
#include "pages/page_context.h"

namespace quorvel {
class DropList;
class ImageButton;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class EditController;

class ModePage : public Page {
    Q_OBJECT
public:
    static constexpr int kChannels = 8;
    static constexpr int kDetectors = 4;

    ModePage(const PageContext& ctx, QWidget* parent);

    void refresh() override;
    void setLanguage(int languageFlag) override;

    DropList* threshold(int channel) const { return thresholds_[static_cast<std::size_t>(channel - 1)]; }
    DropList* holdTime() const { return hold_; }
    DropList* maxOpen() const { return maxOpen_; }
    DropList* nom() const { return nom_; }
    DropList* closedAttenuation() const { return closed_; }
    DropList* detector(int k) const { return detectors_[static_cast<std::size_t>(k)]; }
    ImageButton* syncButton() const { return sync_; }
    ImageButton* lastHoldButton() const { return lastHold_; }
    ImageButton* autoManButton() const { return autoMan_; }
    ImageButton* okButton() const { return ok_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void chooseThreshold(int channel, int index);
    void chooseGlobal(const char* field, int value);
    void pressOk();
    void confirmGlobal();
    void syncSelectors();

    EditController& edits_;
    EditSink& sink_;
    int language_ = 1;

    std::array<DropList*, kChannels> thresholds_{};
    std::array<ImageButton*, kChannels> channelCaps_{};
    std::array<DropList*, kDetectors> detectors_{};
    std::array<SkinLabel*, kDetectors> detectorLabels_{};
    DropList* hold_;
    DropList* maxOpen_;
    DropList* nom_;
    DropList* closed_;
    ImageButton* sync_;
    ImageButton* lastHold_;
    ImageButton* autoMan_;
    ImageButton* ok_;
    SkinLabel* syncLabel_;
    SkinLabel* holdLabel_;
    SkinLabel* maxOpenLabel_;
    SkinLabel* nomLabel_;
    SkinLabel* closedLabel_;
    SkinLabel* lastHoldLabel_;
};

} // namespace quorvel::ui
