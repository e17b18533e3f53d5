#include "app/readout_panel.h"

#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <string>

#include "binding/edit_controller.h"
#include "link/edit.h"
#include "link/field_display.h"
#include "link/field_registry.h"
#include "widgets/skin_painter.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

QLabel* makeLabel(QWidget* parent, const char* objectName) {
    auto* l = new QLabel(parent);
    l->setObjectName(objectName);
    l->setFont(skin::uiFont(14, true));
    l->setAlignment(Qt::AlignCenter);
    skin::styleLabel(l);
    return l;
}

QLineEdit* makeValueField(QWidget* parent, const char* objectName) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(objectName);
    // 18 px keeps the widest value ("20000Hz") inside the 80-px field.
    e->setFont(skin::uiFont(18));
    e->setAlignment(Qt::AlignCenter);
    skin::styleValueField(e);
    e->setMaxLength(16);
    return e;
}

} // namespace

ReadoutPanel::ReadoutPanel(EditController& edits, QWidget* parent) : QWidget(parent), edits_(edits) {
    setObjectName("readoutPanel");
    resize(kWidth, kHeight);
    channelName_ = makeLabel(this, "readoutChannelName");
    channelName_->setGeometry(0, 0, kWidth, 30);
    value1_ = makeValueField(this, "readoutValue1");
    value1_->setGeometry(0, 30, kWidth / 2, 30);
    value2_ = makeValueField(this, "readoutValue2");
    value2_->setGeometry(kWidth / 2, 30, kWidth / 2, 30);
    paramName_ = makeLabel(this, "readoutParamName");
    paramName_->setGeometry(0, 60, kWidth, 30);
    connect(value1_, &QLineEdit::returnPressed, this, [this] { applyTypedValue(0); });
    connect(value2_, &QLineEdit::returnPressed, this, [this] { applyTypedValue(1); });
    connect(&edits_, &EditController::changed, this, &ReadoutPanel::onChanged);
    connect(&edits_, &EditController::edited, this, &ReadoutPanel::onEdited);
    language_ = languageFlag();
    findShownFields();
    updateTexts();
}

void ReadoutPanel::showParameter(int readoutChannel, int kind) {
    channel_ = readoutChannel;
    kind_ = kind;
    findShownFields();
    updateTexts();
}

void ReadoutPanel::findShownFields() {
    shown_.clear();
    for (int slot = 0; slot < 2; ++slot)
        if (const auto f = fieldForReadout(channel_, kind_, slot)) shown_.push_back(*f);
    const std::string name = channel_ < kReadoutFirstOutput
                                 ? "input[" + std::to_string(channel_ + 1) + "].name"
                                 : "output[" + std::to_string(channel_ - kReadoutFirstOutput + 1) + "].name";
    if (const auto f = FieldRegistry::instance().idOf(name)) shown_.push_back(*f);
}

void ReadoutPanel::setLanguage(int languageFlag) {
    language_ = languageFlag;
    updateTexts();
}

void ReadoutPanel::onEdited(FieldId field) {
    // A bound control's edit: its field is on show now; one the readout cannot show leaves it.
    if (const auto target = readoutFor(field)) showParameter(target->channel, target->kind);
}

void ReadoutPanel::onChanged(const ChangeSet& changes) {
    // Status reports announce their meters twenty times a second: only a shown field redraws.
    if (changes.all() ||
        std::any_of(shown_.begin(), shown_.end(), [&](FieldId f) { return changes.contains(f); }))
        updateTexts();
}

void ReadoutPanel::updateTexts() {
    const ReadoutText r = formatReadout(edits_.state(), channel_, kind_, language_);
    channelName_->setText(QString::fromStdString(r.channelName));
    paramName_->setText(QString::fromStdString(r.paramName));
    // A value being typed is not overwritten by a report arriving meanwhile.
    for (auto [field, text] : {std::pair{value1_, &r.value1}, std::pair{value2_, &r.value2}}) {
        if (field->hasFocus() && field->isModified()) continue;
        const QString shown = QString::fromStdString(*text);
        if (field->text() == shown) continue;
        field->setText(shown);
        field->setCursorPosition(0); // any overflow then cuts the unit, never the sign or digits
        field->setModified(false);
    }
}

void ReadoutPanel::applyTypedValue(int field) {
    QLineEdit* edit = field == 0 ? value1_ : value2_;
    if (edits_.locked()) { // typed entry is the surface's too
        edit->setModified(false);
        updateTexts();
        return;
    }
    // The one edit path: stored, carried while online and copied to linked members.
    const EditOutcome r = quorvel::applyTypedValue(edits_.state(), edits_.sink(), channel_, kind_, field,
                                                   edit->text().toStdString());
    edit->setModified(false);
    edits_.announceUser(r.changed); // every view that shows the field or a member's copy follows
    updateTexts();                  // text that is no value gives way to the value again
}

} // namespace quorvel::ui
