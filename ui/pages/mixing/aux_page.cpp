#include "pages/mixing/aux_page.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <vector>

#include "binding/control_bindings.h"
#include "binding/edit_controller.h"
#include "binding/field_ids.h"
#include "controls/fader_ctrl.h"
#include "controls/image_button.h"
#include "controls/skin_label.h"
#include "link/field_display.h"
#include "pages/processing/strip_support.h"
#include "widgets/skin_painter.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

constexpr int kFirstId = 1099;
constexpr int kFaderTopLevel = 70;

// The nine sends and the name the title shows.
std::vector<FieldId> sendFields(int source) {
    std::vector<FieldId> f;
    for (int k = 0; k < kAuxStrips; ++k)
        f.push_back(sendField(source, k));
    f.push_back(inputField(source, "name"));
    return f;
}

} // namespace

AuxPage::AuxPage(const PageContext& ctx, QWidget* parent) : Page(ctx.state, parent), edits_(ctx.edits) {
    language_ = languageFlag();
    title_ = new SkinLabel(0, this);
    title_->setObjectName("auxTitle");
    title_->setFontSize(13);
    title_->setAlignment(0);
    for (int k = 0; k < kAuxStrips; ++k) {
        auto* label = new SkinLabel(kFirstId + 3 * k, this);
        label->setObjectName(QStringLiteral("auxLabel%1").arg(k));
        label->setFontSize(10);
        label->setAlignment(1);
        labels_[static_cast<std::size_t>(k)] = label;

        auto* f = new FaderCtrl(kFirstId + 1 + 3 * k, this);
        f->setObjectName(QStringLiteral("auxFader%1").arg(k));
        f->setVertical(true);
        // The channel faders' art, so a send reads like the level it adds to.
        f->setTrackBitmaps(191);
        f->setThumbBitmaps(192, 209);
        f->setThumbArea(32, 2, 0, 5);
        f->setRange(0, kFaderTopLevel);
        f->setShowText(false);
        f->setValueFormatter([](int pos) {
            return QString::fromStdString(formatDisplayValue(DisplayFormat::Db60, kFaderTopLevel - pos));
        });
        connect(f, &FaderCtrl::faderChanging, this, [this, k](int, int pos) { onMove(k, pos, false); });
        connect(f, &FaderCtrl::faderChanged, this, [this, k](int, int pos) { onMove(k, pos, true); });
        faders_[static_cast<std::size_t>(k)] = f;

        auto* v = new SkinLabel(0, this);
        v->setObjectName(QStringLiteral("auxValue%1").arg(k));
        v->setFontSize(9);
        v->setAlignment(1);
        values_[static_cast<std::size_t>(k)] = v;

        auto* m = makeSkinButton(this, kFirstId + 2 + 3 * k, "", 80, 24);
        m->setObjectName(QStringLiteral("auxMute%1").arg(k));
        connect(m, &ImageButton::clicked, this, [this, k] { onMute(k); });
        mutes_[static_cast<std::size_t>(k)] = m;
    }
    // Any source's send opened by someone else ends that strip's MUTE.
    connect(&edits_, &EditController::changed, this,
            [this](const ChangeSet& changes) { state_mutes_.forgetOpened(state_, changes); });
    watch_ = new WatchBinding(
        edits_, sendFields(source_), [this] { refresh(); }, this);
    setLanguage(language_);
    refresh();
}

void AuxPage::bindTo(int source) {
    if (source < 1 || source > kInputRecords) return;
    source_ = source;
    watch_->bindTo(sendFields(source_));
    refresh();
}

void AuxPage::onMove(int strip, int position, bool finished) {
    const std::int32_t level = kFaderTopLevel - position;
    if (!finished) edits_.beginDrag();
    const EditOutcome out = state_mutes_.move(state_, edits_.sink(), source_, strip, level, finished);
    edits_.announceUser(out.changed);
    if (finished) edits_.endDrag();
    edits_.pointAt(sendField(source_, strip));
    values_[static_cast<std::size_t>(strip)]->setText(
        QString::fromStdString(formatDisplayValue(DisplayFormat::Db60, level)));
}

void AuxPage::onMute(int strip) {
    const EditOutcome out = state_mutes_.toggle(state_, edits_.sink(), source_, strip);
    edits_.announceUser(out.changed);
    edits_.pointAt(sendField(source_, strip));
    refreshStrip(strip);
}

void AuxPage::refreshStrip(int strip) {
    const std::int32_t level = state_mutes_.shownLevel(state_, source_, strip);
    faders_[static_cast<std::size_t>(strip)]->setPosition(kFaderTopLevel - level);
    values_[static_cast<std::size_t>(strip)]->setText(
        QString::fromStdString(formatDisplayValue(DisplayFormat::Db60, level)));
    mutes_[static_cast<std::size_t>(strip)]->setOn(state_mutes_.muted(state_, source_, strip));
}

void AuxPage::refresh() {
    for (int k = 0; k < kAuxStrips; ++k)
        refreshStrip(k);
    refreshTitle();
    update();
}

void AuxPage::refreshTitle() {
    const QString name = displayName(state_.in(source_).name, QStringLiteral("CH %1").arg(source_));
    title_->setText(pick(language_, "AUX", "辅助") + QStringLiteral("  ") + name);
}

void AuxPage::setLanguage(int lang) {
    if (lang != kEnglish && lang != kChinese) return;
    language_ = lang;
    for (int k = 0; k < kAuxStrips; ++k) {
        QString text;
        if (k == 0)
            text = QStringLiteral("主音量");
        else if (k == 7)
            text = QStringLiteral("DELAY");
        else if (k == 8)
            text = QStringLiteral("Reverberation");
        else
            text = (lang == kChinese ? QStringLiteral("辅助 %1") : QStringLiteral("AUX %1")).arg(k);
        labels_[static_cast<std::size_t>(k)]->setText(text);
        mutes_[static_cast<std::size_t>(k)]->setText(pick(lang, "MUTE", "静音"));
    }
    refreshTitle();
}

void AuxPage::layoutControls() {
    const int w = width();
    const int col = std::max(90, (w - 40) / kAuxStrips);
    for (int k = 0; k < kAuxStrips; ++k) {
        const int cx = 20 + col * k + col / 2;
        labels_[static_cast<std::size_t>(k)]->setGeometry(cx - col / 2 + 2, 60, col - 4, 20);
        FaderCtrl* f = faders_[static_cast<std::size_t>(k)];
        f->move(cx - f->width() / 2, 90);
        values_[static_cast<std::size_t>(k)]->setGeometry(cx - 40, 96 + f->height(), 80, 18);
        mutes_[static_cast<std::size_t>(k)]->setGeometry(cx - 40, 120 + f->height(), 80, 24);
    }
    title_->setGeometry(20, 16, 400, 30);
}

void AuxPage::resizeEvent(QResizeEvent* event) {
    Page::resizeEvent(event);
    layoutControls();
}

void AuxPage::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    skin::paintBackground(p, event->rect());
}

} // namespace quorvel::ui
