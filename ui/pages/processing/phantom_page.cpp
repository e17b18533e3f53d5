#include "pages/processing/phantom_page.h"

#include <QPaintEvent>
#include <QPainter>

#include "binding/control_bindings.h"
#include "binding/field_ids.h"
#include "controls/image_button.h"
#include "controls/skin_label.h"
#include "pages/processing/strip_support.h"
#include "widgets/skin_painter.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {
constexpr int kDividerY = 110;
}

PhantomPage::PhantomPage(const PageContext& ctx, QWidget* parent) : Page(ctx.state, parent) {
    // This page switches the one channel whatever its control group says.
    EditOptions single;
    single.linkCopies = false;
    std::vector<FieldId> names;
    for (int i = 0; i < kButtons; ++i) {
        auto* b = makeSkinButton(this, 1033 + i, "", 80, 24);
        b->setObjectName(QStringLiteral("phantom%1").arg(i + 1));
        b->move(100 + 100 * (i % 8), 150 + 50 * (i / 8));
        auto* binding = new ToggleBinding(b, ctx.edits, inputField(i + 1, "phantom"));
        binding->setEditOptions(single);
        buttons_[static_cast<std::size_t>(i)] = b;
        names.push_back(inputField(i + 1, "name"));
    }
    new WatchBinding(
        ctx.edits, std::move(names), [this] { refreshNames(); }, this);
    title_ = new SkinLabel(1088, this);
    title_->setObjectName("phantomTitle");
    title_->setFontSize(16);
    title_->setGeometry(400, 50, 300, 50);
    setLanguage(languageFlag());
    refreshNames();
}

void PhantomPage::refreshNames() {
    for (int i = 0; i < kButtons; ++i)
        buttons_[static_cast<std::size_t>(i)]->setText(
            displayName(state_.in(i + 1).name, QStringLiteral("CH %1").arg(i + 1)));
}

void PhantomPage::refresh() {
    for (ImageButton* b : buttons_)
        if (auto* binding = b->findChild<FieldBinding*>()) binding->sync();
    refreshNames();
    update();
}

void PhantomPage::setLanguage(int lang) {
    if (lang != kEnglish && lang != kChinese) return;
    title_->setText(pick(lang, "PHANTOM", "幻象电源"));
}

void PhantomPage::resizeEvent(QResizeEvent* event) {
    Page::resizeEvent(event);
    title_->setGeometry(width() / 3, 30, 300, 50);
}

void PhantomPage::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    skin::paintBackground(p, event->rect());
    p.setPen(skin::kRule);
    p.drawLine(0, kDividerY, width(), kDividerY);
}

} // namespace quorvel::ui
