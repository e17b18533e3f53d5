// The MATRIX tab: which input channels 1..12 feed which outputs. Each crosspoint is bound to its
// routing flag; a click edits the flag and B carries the channel's whole row. Outputs 5..8 have
// no buttons here, yet their flags are kept and sent with every row.
#pragma once

#include <array>

#include "pages/page.h"
#include "pages/page_context.h"

namespace quorvel {
class ImageButton;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class MatrixPage : public Page {
    Q_OBJECT
public:
    static constexpr int kChannels = kAnalogInputs;
    static constexpr int kOutputs = kOutputRecords;
    static constexpr int kShownOutputs = 4; // rows from y 220 down stay hidden

    MatrixPage(const PageContext& ctx, QWidget* parent);

    void refresh() override;

    // channel 1..12, output 1..8
    ImageButton* crosspoint(int channel, int output) const;
    SkinLabel* columnLabel(int channel) const { return columns_[static_cast<std::size_t>(channel - 1)]; }
    SkinLabel* rowLabel(int output) const { return rows_[static_cast<std::size_t>(output - 1)]; }

    // The dialog's control ids: output 1 is 1140..1151, then row by row from 1153.
    static int crosspointId(int channel, int output);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshNames();

    std::array<ImageButton*, kChannels * kOutputs> buttons_{};
    std::array<SkinLabel*, kChannels> columns_{};
    std::array<SkinLabel*, kOutputs> rows_{};
};

} // namespace quorvel::ui
