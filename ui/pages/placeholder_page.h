// A page whose controls are not built yet: a skinned panel with the page's title, so that the
// window's navigation, layout and relabelling can already be used and seen.
#pragma once

#include "pages/page.h"

namespace quorvel::ui {

class PlaceholderPage : public Page {
    Q_OBJECT
public:
    PlaceholderPage(DeviceState& state, const char* titleEn, const char* titleZh, QWidget* parent);

    void setLanguage(int languageFlag) override;
    QString title() const { return title_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const char* titleEn_;
    const char* titleZh_;
    QString title_;
};

} // namespace quorvel::ui
