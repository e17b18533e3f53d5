#include "pages/mixing/matrix_page.h"

#include <QPaintEvent>
#include <QPainter>

#include "binding/control_bindings.h"
#include "binding/field_ids.h"
#include "controls/image_button.h"
#include "controls/skin_label.h"
#include "pages/processing/strip_support.h"
#include "widgets/skin_painter.h"

namespace quorvel::ui {
namespace {

constexpr int kRowLabelX = 100;
constexpr int kColumnLabelX = 180;
constexpr int kColumnLabelY = 50;
constexpr int kTop = 100;
constexpr int kColumnStep = 70;
constexpr int kRowStep = 30;
constexpr int kButtonX = 210;
constexpr int kButton = 20;
constexpr int kHiddenFromY = 220;

int rowY(int output) {
    return kTop + kRowStep * (output - 1);
}
int columnX(int channel) {
    return kButtonX + kColumnStep * (channel - 1);
}

QString columnFallback(int channel) {
    return QStringLiteral("CH %1").arg(channel);
}
QString rowFallback(int output) {
    return QStringLiteral("OUT %1").arg(output);
}

} // namespace

int MatrixPage::crosspointId(int channel, int output) {
    if (output == 1) return 1140 + channel - 1;
    return 1153 + (output - 2) * kChannels + channel - 1;
}

MatrixPage::MatrixPage(const PageContext& ctx, QWidget* parent) : Page(ctx.state, parent) {
    std::vector<FieldId> names;
    for (int c = 1; c <= kChannels; ++c) {
        auto* l = new SkinLabel(c == 1 ? 1152 : 1237 + c - 2, this);
        l->setObjectName(QStringLiteral("matrixColumn%1").arg(c));
        l->setFontSize(10);
        l->setAlignment(1);
        l->setGeometry(kColumnLabelX + kColumnStep * (c - 1), kColumnLabelY, 80, 20);
        columns_[static_cast<std::size_t>(c - 1)] = l;
        names.push_back(inputField(c, "name"));
    }
    for (int o = 1; o <= kOutputs; ++o) {
        auto* l = new SkinLabel(1248 + o - 1, this);
        l->setObjectName(QStringLiteral("matrixRow%1").arg(o));
        l->setFontSize(10);
        l->setAlignment(0);
        l->setGeometry(kRowLabelX, rowY(o), 100, 20);
        l->setVisible(rowY(o) < kHiddenFromY);
        rows_[static_cast<std::size_t>(o - 1)] = l;
        names.push_back(outputField(o, "name"));
        for (int c = 1; c <= kChannels; ++c) {
            auto* b = makeSkinButton(this, crosspointId(c, o), "", kButton, kButton, 230, 229);
            b->setObjectName(QStringLiteral("crosspoint%1_%2").arg(c).arg(o));
            b->setShowText(false);
            b->move(columnX(c), rowY(o));
            b->setVisible(rowY(o) < kHiddenFromY);
            new ToggleBinding(b, ctx.edits, inputField(c, "routeToOutput[" + std::to_string(o) + "]"));
            buttons_[static_cast<std::size_t>((o - 1) * kChannels + c - 1)] = b;
        }
    }
    new WatchBinding(
        ctx.edits, std::move(names), [this] { refreshNames(); }, this);
    refreshNames();
}

ImageButton* MatrixPage::crosspoint(int channel, int output) const {
    return buttons_[static_cast<std::size_t>((output - 1) * kChannels + channel - 1)];
}

void MatrixPage::refreshNames() {
    for (int c = 1; c <= kChannels; ++c)
        columns_[static_cast<std::size_t>(c - 1)]->setText(displayName(state_.in(c).name, columnFallback(c)));
    for (int o = 1; o <= kOutputs; ++o) {
        const QString out = displayName(state_.out(o).name, rowFallback(o));
        rows_[static_cast<std::size_t>(o - 1)]->setText(out);
        for (int c = 1; c <= kChannels; ++c)
            crosspoint(c, o)->setToolTip(
                QStringLiteral("%1 \u2192 %2").arg(displayName(state_.in(c).name, columnFallback(c)), out));
    }
}

void MatrixPage::refresh() {
    for (ImageButton* b : buttons_)
        if (auto* binding = b->findChild<FieldBinding*>()) binding->sync();
    refreshNames();
    update();
}

void MatrixPage::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    skin::paintBackground(p, event->rect());
    // Faint guides through every row and column, so a crosspoint reads against its two names.
    p.setPen(QColor(skin::kTextDim.red(), skin::kTextDim.green(), skin::kTextDim.blue(), 60));
    const int right = columnX(kChannels) + kButton + 10;
    const int bottom = rowY(kShownOutputs) + kButton + 6;
    for (int o = 1; o <= kShownOutputs; ++o)
        p.drawLine(kRowLabelX, rowY(o) + kButton / 2, right, rowY(o) + kButton / 2);
    for (int c = 1; c <= kChannels; ++c)
        p.drawLine(columnX(c) + kButton / 2, kColumnLabelY + 24, columnX(c) + kButton / 2, bottom);
}

} // namespace quorvel::ui
