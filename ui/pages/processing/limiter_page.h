// The limiter of one output, beside the output's detail strip.
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
class ToggleBinding;
class WatchBinding;

class LimiterPage : public Page {
    Q_OBJECT
public:
    LimiterPage(const PageContext& ctx, QWidget* parent);
    ~LimiterPage() override;

    // index: the 0-based output.
    void bindTo(int index);
    int outputIndex() const { return index_; }

    void refresh() override;
    void setLanguage(int languageFlag) override;
    void refreshMeters() override;

    ResponseView* curve() const { return curve_; }
    LevelMeter* meter() const { return meter_; }
    PresetList* presets() const { return presets_; }
    const std::vector<std::unique_ptr<KnobRow>>& knobs() const { return knobs_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    int output() const { return index_ + 1; }
    void refreshCurve();
    void onHandle(int handle, double x, double y, bool finished);
    std::vector<FieldId> curveFields() const;

    const PageContext& ctx_;
    int index_ = 0;
    SkinLabel* title_;
    ImageButton* on_;
    ImageButton* reset_;
    PresetList* presets_;
    ResponseView* curve_;
    LevelMeter* meter_;
    std::vector<std::unique_ptr<KnobRow>> knobs_;
    ToggleBinding* onBinding_;
    WatchBinding* curveWatch_;
};

} // namespace quorvel::ui
