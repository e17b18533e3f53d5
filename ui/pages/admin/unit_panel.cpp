#include "pages/admin/unit_panel.h"

#include <QLabel>

#include "admin/units.h"
#include "binding/control_bindings.h"
#include "binding/edit_controller.h"
#include "binding/field_ids.h"
#include "controls/drop_list.h"
#include "controls/image_button.h"
#include "pages/admin/ask.h"
#include "widgets/name_dialog.h"
#include "widgets/nav_button.h"
#include "widgets/skin_painter.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

constexpr QRgb kMarkerColours[kUnitSlots] = {qRgb(87, 121, 148), qRgb(41, 151, 39), qRgb(186, 57, 79),
                                             qRgb(255, 159, 0), qRgb(187, 41, 186)};

FieldId slotField(int unit, int slot) {
    return fieldId("units[" + std::to_string(unit) + "][" + std::to_string(slot) + "]");
}

} // namespace

UnitPanel::UnitPanel(const PageContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
    setObjectName("unitPanel");
    setAttribute(Qt::WA_TranslucentBackground);
    for (int k = 0; k < kUnits; ++k) {
        auto* b = new ImageButton(1231 + k, this);
        b->setObjectName(QStringLiteral("unitButton%1").arg(k + 1));
        b->setSizeMode(-1);
        b->setImages(165, 166);
        b->setStyle(ImageButton::Toggle);
        b->setGeometry(100 + 140 * k, 110 - kTop, 120, 32);
        b->setText(QString::asprintf("PELLAN-%02d", k + 1));
        connect(b, &ImageButton::clicked, this, [this, k] { selectUnit(k); });
        units_[static_cast<std::size_t>(k)] = b;
    }
    QStringList items;
    for (int v = 0; v < kUnitSlotValues; ++v)
        items << QString::fromStdString(unitSlotText(v));
    for (int s = 0; s < kUnitSlots; ++s) {
        auto* marker = new QLabel(this);
        marker->setObjectName(QStringLiteral("unitMarker%1").arg(s + 1));
        marker->setGeometry(100 + 130 * s, 170 - kTop, 10, 24);
        marker->setStyleSheet(QStringLiteral("background-color: %1; border-radius: 2px;")
                                  .arg(QColor(kMarkerColours[s]).name()));
        markers_[static_cast<std::size_t>(s)] = marker;
        auto* list = new DropList(1010 + s, this);
        list->setObjectName(QStringLiteral("unitSlot%1").arg(s + 1));
        list->setBitmaps(231, 232);
        list->setGeometry(114 + 130 * s, 170 - kTop, 100, 24);
        list->setItems(items);
        list->setMaxDropHeight(6 * DropList::kItemHeight);
        auto* binding = new ListBinding(list, ctx_.edits, slotField(1, s + 1));
        binding->setRefusalHandler([this](const std::string& why) {
            showMessage(this, QString::fromStdString(why), QString(), "unitRefused");
        });
        selectors_[static_cast<std::size_t>(s)] = list;
        bindings_[static_cast<std::size_t>(s)] = binding;
    }
    call_ = new NavButton(NavButton::Style::Small, this);
    call_->setCheckable(false);
    call_->setObjectName("unitCall");
    call_->setGeometry(100, 230 - kTop, 120, 38);
    connect(call_, &NavButton::clicked, this, &UnitPanel::call);
    reset_ = new NavButton(NavButton::Style::Small, this);
    reset_->setCheckable(false);
    reset_->setObjectName("unitReset");
    reset_->setGeometry(240, 230 - kTop, 280, 38);
    connect(reset_, &NavButton::clicked, this, &UnitPanel::requestReset);
    setLanguage(languageFlag());
    showUnits();
    // Units attached or removed while the tab is up show at once, not on the next visit.
    connect(&ctx_.edits, &EditController::changed, this, [this](const ChangeSet& changes) {
        if (isVisible() && (changes.all() || changes.contains(fieldId("unitCount")))) showUnits();
    });
}

void UnitPanel::setLanguage(int lang) {
    call_->setText(pick(lang, "CALL", "呼叫"));
    reset_->setText(pick(lang, "Reset all PELLAN SETTING", "复位PELLAN设置"));
}

void UnitPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showUnits();
}

void UnitPanel::showUnits() {
    const int count = std::clamp(ctx_.state.unitCount, 0, kUnits);
    for (int k = 0; k < kUnits; ++k) {
        ImageButton* b = units_[static_cast<std::size_t>(k)];
        b->setEnabled(k < count);
        // The art has no disabled face: a unit that is not attached shows by its dim caption.
        b->setTextColors(k < count ? QColor(0xFF, 0xFF, 0xFF) : QColor(0x5C, 0x64, 0x6E),
                         QColor(0x00, 0xE6, 0xFF));
    }
    if (count > 0) {
        selectUnit(selected_ < 0 || selected_ >= count ? 0 : selected_);
        return;
    }
    selected_ = -1;
    for (ImageButton* b : units_)
        b->setOn(false);
    for (int s = 0; s < kUnitSlots; ++s) {
        selectors_[static_cast<std::size_t>(s)]->setEnabled(false);
        markers_[static_cast<std::size_t>(s)]->setEnabled(false);
    }
    // A call needs a unit to go to.
    call_->setEnabled(false);
}

void UnitPanel::selectUnit(int index) {
    if (index < 0 || index >= kUnits) return;
    selected_ = index;
    for (int k = 0; k < kUnits; ++k)
        units_[static_cast<std::size_t>(k)]->setOn(k == index);
    for (int s = 0; s < kUnitSlots; ++s) {
        bindings_[static_cast<std::size_t>(s)]->bindTo(slotField(index + 1, s + 1));
        selectors_[static_cast<std::size_t>(s)]->setEnabled(true);
        markers_[static_cast<std::size_t>(s)]->setEnabled(true);
    }
    call_->setEnabled(true);
}

void UnitPanel::call() {
    if (selected_ < 0) return;
    callUnit(ctx_.sink, selected_ + 1);
}

void UnitPanel::requestReset() {
    askOkCancel(
        this, pick("Do you want to reset all PELLAN setting?", "是否复位所有PELLAN设置?"), QString(),
        "unitResetQuestion", [this] { resetAll(); }, QMessageBox::Warning);
}

void UnitPanel::resetAll() {
    ctx_.edits.announceUser(resetUnits(ctx_.state, ctx_.sink));
    if (selected_ >= 0) selectUnit(selected_);
}

} // namespace quorvel::ui
