// The 48V page: one toggle per input channel 1..16, captioned with the channel's name.
#pragma once

#include <array>

#include "pages/page.h"
#include "pages/page_context.h"

namespace quorvel {
class ImageButton;
class SkinLabel;
} // namespace quorvel

namespace quorvel::ui {

class PhantomPage : public Page {
    Q_OBJECT
public:
    static constexpr int kButtons = 16;

    PhantomPage(const PageContext& ctx, QWidget* parent);

    void refresh() override;
    void setLanguage(int languageFlag) override;
    ImageButton* button(int i) const { return buttons_[static_cast<std::size_t>(i)]; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshNames();

    std::array<ImageButton*, kButtons> buttons_{};
    SkinLabel* title_;
};

} // namespace quorvel::ui
