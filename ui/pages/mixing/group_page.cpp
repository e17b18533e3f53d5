#include "pages/mixing/group_page.h"

#include <QPaintEvent>
#include <QPainter>

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

} // namespace

GroupPage::GroupPage(DeviceState& state, QWidget* parent) : Page(state, parent) {
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
    }
    for (int o = 0; o < kOutputRecords; ++o) {
        auto* b = makeSkinButton(this, 1078 + o, "", kW, kH);
        b->setObjectName(QStringLiteral("muteOutput%1").arg(o + 1));
        connect(b, &ImageButton::clicked, this, [this, o] { toggleMute(kMuteFirstOutput + o); });
        muteOutputs_[static_cast<std::size_t>(o)] = b;
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
    }
    for (int o = 0; o < kOutputRecords; ++o) {
        auto* b = makeSkinButton(this, 1051 + o, "", kW, kH);
        b->setObjectName(QStringLiteral("controlOutput%1").arg(o + 1));
        connect(b, &ImageButton::clicked, this, [this, o] { toggleControl(cg::kFirstOutput + o); });
        controlOutputs_[static_cast<std::size_t>(o)] = b;
    }
    for (int f = 0; f < kLinkFlags; ++f) {
        auto* b = makeSkinButton(this, kFlags[static_cast<std::size_t>(f)].id, "", kW, kH);
        b->setObjectName(QStringLiteral("linkFlag%1").arg(kFlags[static_cast<std::size_t>(f)].element));
        connect(b, &ImageButton::clicked, this, [this, f] {
            if (toggleLinkFlag(state_, controlGroup_, kFlags[static_cast<std::size_t>(f)].element)) {
                refresh();
                emit groupsChanged();
            }
        });
        flags_[static_cast<std::size_t>(f)] = b;
    }
    setLanguage(languageFlag());
    layoutControls();
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
    const ToggleResult r = toggleControlMember(state_, controlGroup_, element);
    if (r == ToggleResult::Added || r == ToggleResult::Removed) {
        refresh();
        emit groupsChanged();
    }
}

void GroupPage::toggleMute(int element) {
    const ToggleResult r = toggleMuteMember(state_, muteGroup_, element);
    if (r == ToggleResult::Added || r == ToggleResult::Removed) {
        refresh();
        emit groupsChanged();
    }
}

void GroupPage::refresh() {
    auto on = [](const auto& group, int element) { return group[static_cast<std::size_t>(element)] != 0; };
    for (int g = 0; g < kMuteGroups; ++g)
        muteSelect_[static_cast<std::size_t>(g)]->setOn(muteGroup_ == g);
    for (int g = 0; g < kControlGroups; ++g)
        controlSelect_[static_cast<std::size_t>(g)]->setOn(controlGroup_ == g);

    const bool haveMute = muteGroup_ >= 0;
    for (int i = 0; i < kMuteInputs; ++i) {
        ImageButton* b = muteInputs_[static_cast<std::size_t>(i)];
        b->setText(displayName(state_.in(i + 1).name, QStringLiteral("CH %1").arg(i + 1)));
        b->setOn(haveMute && on(state_.muteGroups[static_cast<std::size_t>(muteGroup_)], i));
        b->setGrayed(!haveMute);
    }
    for (int o = 0; o < kOutputRecords; ++o) {
        ImageButton* b = muteOutputs_[static_cast<std::size_t>(o)];
        b->setText(displayName(state_.out(o + 1).name, QStringLiteral("OUT %1").arg(o + 1)));
        b->setOn(haveMute &&
                 on(state_.muteGroups[static_cast<std::size_t>(muteGroup_)], kMuteFirstOutput + o));
        b->setGrayed(!haveMute);
    }

    const bool haveControl = controlGroup_ >= 0;
    const ControlGroup* cgp =
        haveControl ? &state_.controlGroups[static_cast<std::size_t>(controlGroup_)] : nullptr;
    for (int i = 0; i < kControlInputs; ++i) {
        ImageButton* b = controlInputs_[static_cast<std::size_t>(i)];
        b->setText(displayName(state_.in(i + 1).name, QStringLiteral("CH %1").arg(i + 1)));
        b->setOn(cgp && on(*cgp, i));
        b->setGrayed(!haveControl);
    }
    for (int o = 0; o < kOutputRecords; ++o) {
        ImageButton* b = controlOutputs_[static_cast<std::size_t>(o)];
        b->setText(displayName(state_.out(o + 1).name, QStringLiteral("OUT %1").arg(o + 1)));
        b->setOn(cgp && on(*cgp, cg::kFirstOutput + o));
        b->setGrayed(!haveControl);
    }
    for (int f = 0; f < kLinkFlags; ++f) {
        ImageButton* b = flags_[static_cast<std::size_t>(f)];
        b->setOn(cgp && on(*cgp, kFlags[static_cast<std::size_t>(f)].element));
        b->setGrayed(!haveControl);
    }
    groupName_->setText(haveControl ? pick(language_, "CONTROL %1", "控制 %1").arg(controlGroup_ + 1)
                                    : QString());
    memberCount_->setText(
        haveControl ? pick(language_, "MEMBERS: %1", "成员: %1").arg((*cgp)[cg::kMemberCount]) : QString());
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
