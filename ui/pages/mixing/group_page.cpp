#include "pages/mixing/group_page.h"

#include <QPaintEvent>
#include <QPainter>

#include "binding/control_bindings.h"
#include "binding/edit_controller.h"
#include "binding/field_ids.h"
#include "controls/image_button.h"
#include "controls/skin_label.h"
#include "mixing/groups.h"
#include "pages/processing/strip_support.h"
#include "widgets/skin_painter.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

constexpr int kMuteFirstOutput = 18;

struct FlagButton {
    int element;
    int id;
    const char* en;
    const char* zh;
};
// In the order the page shows them.
constexpr std::array<FlagButton, GroupPage::kLinkFlags> kFlags = {{
    {cg::kLinkVolume, 1102, "VOL", "音量"},
    {cg::kLinkEq, 1099, "EQ", "EQ"},
    {cg::kLinkComp, 1100, "COMP", "压缩器"},
    {cg::kLinkLimit, 1101, "LIMIT", "限幅器"},
    {cg::kLinkGain, 1103, "GAIN", "增益"},
    {cg::kLinkPriority, 1104, "PRIORITY", "优先"},
    {cg::kLinkPhantom, 1106, "48V", "48V"},
    {cg::kLinkSource, 1105, "SOURCE", "输入源"},
    {cg::kLinkLine, 1107, "LINE", "LINE"},
    {cg::kLinkFbk, 1108, "FBK", "FBK"},
    {cg::kLinkDelay, 1109, "Delay", "延时"},
}};

constexpr int kW = 80;
constexpr int kH = 24;
constexpr int kGapX = 8;
constexpr int kGapY = 8;

SkinLabel* title(QWidget* parent, const char* name, qreal size) {
    auto* l = new SkinLabel(0, parent);
    l->setObjectName(name);
    l->setFontSize(size);
    l->setAlignment(0);
    return l;
}

// group 0..3, element 0-based as groups.h counts; kNoField when no group is selected.
FieldId controlField(int group, int element) {
    if (group < 0) return kNoField;
    return fieldId("controlGroups[" + std::to_string(group + 1) + "][" + std::to_string(element + 1) + "]");
}

FieldId muteField(int group, int element) {
    if (group < 0) return kNoField;
    return fieldId("muteGroups[" + std::to_string(group + 1) + "][" + std::to_string(element + 1) + "]");
}

} // namespace

GroupPage::GroupPage(const PageContext& ctx, QWidget* parent) : Page(ctx.state, parent), edits_(ctx.edits) {
    muteTitle_ = title(this, "muteGroupTitle", 12);
    controlTitle_ = title(this, "controlGroupTitle", 12);
    groupName_ = title(this, "controlGroupName", 10);
    memberCount_ = title(this, "memberCount", 10);
    linkTitle_ = title(this, "linkTitle", 10);

    for (int g = 0; g < kMuteGroups; ++g) {
        auto* b = makeSkinButton(this, 1059 + g, "", kW, kH);
        b->setObjectName(QStringLiteral("muteSelect%1").arg(g + 1));
        connect(b, &ImageButton::clicked, this, [this, g] { selectMuteGroup(g); });
        muteSelect_[static_cast<std::size_t>(g)] = b;
    }
    for (int i = 0; i < kMuteInputs; ++i) {
        auto* b = makeSkinButton(this, 1063 + i, "", kW, kH);
        b->setObjectName(QStringLiteral("muteInput%1").arg(i + 1));
        connect(b, &ImageButton::clicked, this, [this, i] { toggleMute(i); });
        muteInputs_[static_cast<std::size_t>(i)] = b;
        bindMute(b, i);
    }
    for (int o = 0; o < kOutputRecords; ++o) {
        auto* b = makeSkinButton(this, 1078 + o, "", kW, kH);
        b->setObjectName(QStringLiteral("muteOutput%1").arg(o + 1));
        connect(b, &ImageButton::clicked, this, [this, o] { toggleMute(kMuteFirstOutput + o); });
        muteOutputs_[static_cast<std::size_t>(o)] = b;
        bindMute(b, kMuteFirstOutput + o);
    }
    for (int g = 0; g < kControlGroups; ++g) {
        auto* b = makeSkinButton(this, 1029 + g, "", kW, kH);
        b->setObjectName(QStringLiteral("controlSelect%1").arg(g + 1));
        connect(b, &ImageButton::clicked, this, [this, g] { selectControlGroup(g); });
        controlSelect_[static_cast<std::size_t>(g)] = b;
    }
    for (int i = 0; i < kControlInputs; ++i) {
        auto* b = makeSkinButton(this, 1033 + i, "", kW, kH);
        b->setObjectName(QStringLiteral("controlInput%1").arg(i + 1));
        connect(b, &ImageButton::clicked, this, [this, i] { toggleControl(i); });
        controlInputs_[static_cast<std::size_t>(i)] = b;
        bindControl(b, i, true);
    }
    for (int o = 0; o < kOutputRecords; ++o) {
        auto* b = makeSkinButton(this, 1051 + o, "", kW, kH);
        b->setObjectName(QStringLiteral("controlOutput%1").arg(o + 1));
        connect(b, &ImageButton::clicked, this, [this, o] { toggleControl(cg::kFirstOutput + o); });
        controlOutputs_[static_cast<std::size_t>(o)] = b;
        bindControl(b, cg::kFirstOutput + o, true);
    }
    for (int f = 0; f < kLinkFlags; ++f) {
        auto* b = makeSkinButton(this, kFlags[static_cast<std::size_t>(f)].id, "", kW, kH);
        b->setObjectName(QStringLiteral("linkFlag%1").arg(kFlags[static_cast<std::size_t>(f)].element));
        // A flag is one field: its binding edits it.
        bindControl(b, kFlags[static_cast<std::size_t>(f)].element, false);
        flags_[static_cast<std::size_t>(f)] = b;
    }
    std::vector<FieldId> names;
    for (int i = 1; i <= kControlInputs; ++i)
        names.push_back(inputField(i, "name"));
    for (int o = 1; o <= kOutputRecords; ++o)
        names.push_back(outputField(o, "name"));
    new WatchBinding(
        edits_, std::move(names), [this] { refreshNames(); }, this);
    countWatch_ = new WatchBinding(
        edits_, {kNoField}, [this] { refreshMemberCount(); }, this);
    setLanguage(languageFlag());
    layoutControls();
}

void GroupPage::bindMute(ImageButton* b, int element) {
    auto* binding = new ToggleBinding(b, edits_, kNoField);
    binding->setDisplayOnly(true); // membership has rules: toggleMute applies them
    muteBindings_.push_back(binding);
    muteElements_.push_back(element);
}

void GroupPage::bindControl(ImageButton* b, int element, bool member) {
    auto* binding = new ToggleBinding(b, edits_, kNoField);
    binding->setDisplayOnly(member);
    controlBindings_.push_back(binding);
    controlElements_.push_back(element);
}

void GroupPage::rebind() {
    for (std::size_t i = 0; i < muteBindings_.size(); ++i)
        muteBindings_[i]->bindTo(muteField(muteGroup_, muteElements_[i]));
    for (std::size_t i = 0; i < controlBindings_.size(); ++i)
        controlBindings_[i]->bindTo(controlField(controlGroup_, controlElements_[i]));
    countWatch_->bindTo(controlField(controlGroup_, cg::kMemberCount));
}

void GroupPage::selectControlGroup(int group) {
    controlGroup_ = controlGroup_ == group ? -1 : group;
    refresh();
    emit controlGroupSelected(controlGroup_);
}

void GroupPage::selectMuteGroup(int group) {
    muteGroup_ = muteGroup_ == group ? -1 : group;
    refresh();
}

void GroupPage::toggleControl(int element) {
    ChangeSet changed;
    const ToggleResult r = toggleControlMember(state_, controlGroup_, element, &changed);
    if (r != ToggleResult::Added && r != ToggleResult::Removed) return;
    edits_.announceUser(changed);
}

void GroupPage::toggleMute(int element) {
    ChangeSet changed;
    const ToggleResult r = toggleMuteMember(state_, muteGroup_, element, &changed);
    if (r != ToggleResult::Added && r != ToggleResult::Removed) return;
    edits_.announceUser(changed);
}

void GroupPage::refreshNames() {
    for (int i = 0; i < kMuteInputs; ++i)
        muteInputs_[static_cast<std::size_t>(i)]->setText(
            displayName(state_.in(i + 1).name, QStringLiteral("CH %1").arg(i + 1)));
    for (int i = 0; i < kControlInputs; ++i)
        controlInputs_[static_cast<std::size_t>(i)]->setText(
            displayName(state_.in(i + 1).name, QStringLiteral("CH %1").arg(i + 1)));
    for (int o = 0; o < kOutputRecords; ++o) {
        const QString name = displayName(state_.out(o + 1).name, QStringLiteral("OUT %1").arg(o + 1));
        muteOutputs_[static_cast<std::size_t>(o)]->setText(name);
        controlOutputs_[static_cast<std::size_t>(o)]->setText(name);
    }
}

void GroupPage::refreshMemberCount() {
    const bool have = controlGroup_ >= 0;
    memberCount_->setText(
        have ? pick(language_, "MEMBERS: %1", "成员: %1")
                   .arg(state_.controlGroups[static_cast<std::size_t>(controlGroup_)][cg::kMemberCount])
             : QString());
}

void GroupPage::refresh() {
    for (int g = 0; g < kMuteGroups; ++g)
        muteSelect_[static_cast<std::size_t>(g)]->setOn(muteGroup_ == g);
    for (int g = 0; g < kControlGroups; ++g)
        controlSelect_[static_cast<std::size_t>(g)]->setOn(controlGroup_ == g);
    // Re-pointing syncs every member and flag button with the selected group.
    rebind();
    for (FieldBinding* b : muteBindings_)
        static_cast<ImageButton*>(b->parent())->setGrayed(muteGroup_ < 0);
    for (FieldBinding* b : controlBindings_)
        static_cast<ImageButton*>(b->parent())->setGrayed(controlGroup_ < 0);
    refreshNames();
    groupName_->setText(controlGroup_ >= 0 ? pick(language_, "CONTROL %1", "控制 %1").arg(controlGroup_ + 1)
                                           : QString());
    update();
}

void GroupPage::setLanguage(int lang) {
    language_ = lang;
    muteTitle_->setText(pick(lang, "MUTE GROUP", "静音分组"));
    controlTitle_->setText(pick(lang, "CONTROL GROUP", "控制分组"));
    linkTitle_->setText(pick(lang, "CONTROL GROUP NAME", "控制分组名称"));
    for (int g = 0; g < kMuteGroups; ++g)
        muteSelect_[static_cast<std::size_t>(g)]->setText(pick(lang, "MUTE %1", "静音 %1").arg(g + 1));
    for (int g = 0; g < kControlGroups; ++g)
        controlSelect_[static_cast<std::size_t>(g)]->setText(pick(lang, "CONTROL %1", "控制 %1").arg(g + 1));
    for (int f = 0; f < kLinkFlags; ++f) {
        const FlagButton& fb = kFlags[static_cast<std::size_t>(f)];
        flags_[static_cast<std::size_t>(f)]->setText(pick(lang, fb.en, fb.zh));
    }
    refresh();
}

void GroupPage::layoutControls() {
    // Two panels side by side: mute groups on the left, control groups on the right.
    const int cols = 4;
    const int step = kW + kGapX;
    const int left = 20;
    const int panel = cols * step + 20;
    const int right = left + panel + 30;
    auto grid = [&](auto& buttons, int x, int y, int perRow) {
        for (std::size_t i = 0; i < buttons.size(); ++i)
            buttons[i]->move(x + static_cast<int>(i % perRow) * step,
                             y + static_cast<int>(i / perRow) * (kH + kGapY));
        return y + static_cast<int>((buttons.size() + perRow - 1) / perRow) * (kH + kGapY);
    };
    muteTitle_->setGeometry(left, 16, panel, 26);
    int y = grid(muteSelect_, left, 50, cols) + 16;
    y = grid(muteInputs_, left, y, cols) + 16;
    grid(muteOutputs_, left, y, cols);

    controlTitle_->setGeometry(right, 16, panel + 2 * step, 26);
    y = grid(controlSelect_, right, 50, cols) + 16;
    y = grid(controlInputs_, right, y, 6) + 16;
    y = grid(controlOutputs_, right, y, 6) + 16;
    linkTitle_->setGeometry(right, y, 180, 20);
    groupName_->setGeometry(right + 190, y, 120, 20);
    memberCount_->setGeometry(right + 320, y, 140, 20);
    grid(flags_, right, y + 28, 6);
}

void GroupPage::resizeEvent(QResizeEvent* event) {
    Page::resizeEvent(event);
    layoutControls();
}

void GroupPage::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    skin::paintBackground(p, event->rect());
}

} // namespace quorvel::ui
