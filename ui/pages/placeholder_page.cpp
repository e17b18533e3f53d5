#include "pages/placeholder_page.h"

#include <QPainter>

#include "widgets/skin_painter.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {

PlaceholderPage::PlaceholderPage(DeviceState& state, const char* titleEn, const char* titleZh,
                                 QWidget* parent)
    : Page(state, parent), titleEn_(titleEn), titleZh_(titleZh), title_(pick(titleEn, titleZh)) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PlaceholderPage::setLanguage(int languageFlag) {
    title_ = pick(languageFlag, titleEn_, titleZh_);
    update();
}

void PlaceholderPage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    skin::paintPanel(p, r);
    skin::paintPanelTitle(p, QRectF(r.left(), r.top(), r.width(), 34), title_);
}

} // namespace quorvel::ui
