// The AUX page: for the source the detail view shows, nine strips (main volume, AUX 1..6, DELAY,
// Reverberation), each a fader and a MUTE. The levels go through the AUX rules of core/mixing,
// which remember a muted strip's level per source.
#pragma once

#include <array>

#include "mixing/aux_ops.h"
#include "pages/page.h"
#include "pages/page_context.h"

namespace quorvel {
class FaderCtrl;
class ImageButton;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class EditController;
class WatchBinding;

class AuxPage : public Page {
    Q_OBJECT
public:
    AuxPage(const PageContext& ctx, QWidget* parent);

    // Source 1..18.
    void bindTo(int source);
    int source() const { return source_; }

    void refresh() override;
    void setLanguage(int languageFlag) override;

    FaderCtrl* fader(int strip) const { return faders_[static_cast<std::size_t>(strip)]; }
    ImageButton* muteButton(int strip) const { return mutes_[static_cast<std::size_t>(strip)]; }
    const AuxMutes& mutes() const { return state_mutes_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void onMove(int strip, int position, bool finished);
    void onMute(int strip);
    void refreshStrip(int strip);
    void refreshTitle();
    void layoutControls();

    EditController& edits_;
    int source_ = 1;
    int language_ = 1;
    AuxMutes state_mutes_;
    std::array<SkinLabel*, kAuxStrips> labels_{};
    std::array<FaderCtrl*, kAuxStrips> faders_{};
    std::array<SkinLabel*, kAuxStrips> values_{};
    std::array<ImageButton*, kAuxStrips> mutes_{};
    SkinLabel* title_;
    WatchBinding* watch_ = nullptr;
};

} // namespace quorvel::ui
