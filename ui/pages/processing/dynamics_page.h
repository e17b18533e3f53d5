// The noise gate and compressor of one input channel, beside the channel's detail strip. Only the
// compressor is shown; the gate is built, bound and kept hidden.
#pragma once

#include <memory>
#include <vector>

#include "link/change_set.h"
#include "pages/page.h"
#include "pages/page_context.h"

namespace quorvel {
class ImageButton;
class LevelMeter;
class PresetList;
class ResponseView;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class KnobRow;
class FieldBinding;
class WatchBinding;

class DynamicsPage : public Page {
    Q_OBJECT
public:
    DynamicsPage(const PageContext& ctx, QWidget* parent);
    ~DynamicsPage() override;

    // index: the 0-based input channel.
    void bindTo(int index);
    int channelIndex() const { return index_; }

    void refresh() override;
    void setLanguage(int languageFlag) override;
    void refreshMeters() override;

    ResponseView* compressorCurve() const { return compCurve_; }
    ResponseView* gateCurve() const { return gateCurve_; }
    LevelMeter* meter() const { return meter_; }
    PresetList* compressorPresets() const { return compPresets_; }
    PresetList* gatePresets() const { return gatePresets_; }
    const std::vector<std::unique_ptr<KnobRow>>& compressorKnobs() const { return compKnobs_; }
    const std::vector<std::unique_ptr<KnobRow>>& gateKnobs() const { return gateKnobs_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    int channel() const { return index_ + 1; }
    void layoutControls();
    void refreshCurves();
    void onCompressorHandle(int handle, double x, double y, bool finished);
    void onGateHandle(int handle, double x, double y, bool finished);
    void onReset(bool gate);
    void onRecalled(bool gate);
    std::vector<FieldId> curveFields() const;

    const PageContext& ctx_;
    int index_ = 0;
    int language_ = 1;
    SkinLabel* compTitle_;
    SkinLabel* gateTitle_;
    ImageButton* compOn_;
    ImageButton* gateOn_;
    ImageButton* compReset_;
    ImageButton* gateReset_;
    PresetList* compPresets_;
    PresetList* gatePresets_;
    ResponseView* compCurve_;
    ResponseView* gateCurve_;
    LevelMeter* meter_;
    std::vector<std::unique_ptr<KnobRow>> compKnobs_;
    std::vector<std::unique_ptr<KnobRow>> gateKnobs_;
    std::vector<FieldBinding*> toggles_; // compEnabled, gateEnabled
    WatchBinding* curveWatch_ = nullptr;
};

} // namespace quorvel::ui
