// The EFFECT page: the reverberation and the delay side by side, each with its faders (label
// left, value right), RESET, two MUTE buttons under its input and output meters, and its preset
// list. Every fader and MUTE is bound to its field; RESET and a recall send the whole group.
#pragma once

#include <array>

#include "mixing/effect_ops.h"
#include "pages/page.h"
#include "pages/page_context.h"

namespace quorvel {
class DropList;
class FaderCtrl;
class ImageButton;
class LevelMeter;
class PresetList;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class EditController;

class EffectPage : public Page {
    Q_OBJECT
public:
    static constexpr int kReverbFaders = 6;
    static constexpr int kDelayFaders = 4;
    static constexpr int kFaders = kReverbFaders + kDelayFaders;

    EffectPage(const PageContext& ctx, QWidget* parent);

    void refresh() override;
    void refreshMeters() override;
    void setLanguage(int languageFlag) override;

    // Fader k in table order: 1103, 1105, ... 1121 (reverberation first).
    FaderCtrl* fader(int k) const { return faders_[static_cast<std::size_t>(k)]; }
    PresetList* presetList(Effect e) const { return e == Effect::Reverb ? reverbPresets_ : delayPresets_; }
    ImageButton* resetButton(Effect e) const { return e == Effect::Reverb ? reverbReset_ : delayReset_; }
    ImageButton* muteButton(int id) const; // 1028..1031

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void reset(Effect e);
    void recalled(Effect e);
    void refreshValues();
    void layoutControls();

    EditController& edits_;
    int language_ = 1;
    std::array<FaderCtrl*, kFaders> faders_{};
    std::array<SkinLabel*, kFaders> labels_{};
    std::array<SkinLabel*, kFaders> values_{};
    std::array<ImageButton*, 4> mutes_{}; // 1028..1031
    std::array<LevelMeter*, 4> meters_{}; // reverberation in, out, delay in, out
    std::array<SkinLabel*, 4> meterNames_{};
    std::array<int, 4> shownMeters_{-1, -1, -1, -1};
    SkinLabel* reverbTitle_;
    SkinLabel* delayTitle_;
    ImageButton* reverbReset_;
    ImageButton* delayReset_;
    PresetList* reverbPresets_;
    PresetList* delayPresets_;
    DropList* keepOn_; // 1010, hidden
    DropList* span_;   // 1012, hidden
};

} // namespace quorvel::ui
