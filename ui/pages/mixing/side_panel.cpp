#include "pages/mixing/side_panel.h"

#include <QPainter>

#include "binding/edit_controller.h"
#include "binding/field_binding.h"
#include "binding/field_ids.h"
#include "controls/image_button.h"
#include "controls/skin_label.h"
#include "mixing/groups.h"
#include "pages/processing/strip_support.h"
#include "session/navigation_model.h"
#include "widgets/skin_painter.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {
constexpr int kRow = 30;
constexpr int kButtonHeight = 24;

int busOfButton(int i) {
    return i == 0 ? 1 : i + 2;
} // bus 2 is not a mix the faders show
} // namespace

SidePanel::SidePanel(EditController& edits, NavigationModel& nav, QWidget* parent)
    : Page(edits.state(), parent), edits_(edits), nav_(nav) {
    busTitle_ = new SkinLabel(0, this);
    busTitle_->setObjectName("busTitle");
    busTitle_->setFontSize(10);
    for (int i = 0; i < kBuses; ++i) {
        auto* b = makeSkinButton(this, 1000 + i, "");
        b->setObjectName(QStringLiteral("bus%1").arg(i));
        b->setText(i == 0 ? QStringLiteral("LR") : QStringLiteral("AUX%1").arg(i));
        connect(b, &ImageButton::clicked, this, [this, i] {
            nav_.selectBus(busOfButton(i));
            refresh(); // a click on the bus already shown still undoes its own toggle
        });
        buses_[static_cast<std::size_t>(i)] = b;
    }
    viewTitle_ = new SkinLabel(0, this);
    viewTitle_->setObjectName("viewTitle");
    viewTitle_->setFontSize(10);
    for (int g = 0; g < kControlGroups; ++g) {
        auto* b = makeSkinButton(this, 1029 + g, "");
        b->setObjectName(QStringLiteral("viewGroup%1").arg(g + 1));
        connect(b, &ImageButton::clicked, this,
                [this, g] { nav_.viewGroup(nav_.viewedGroup() == g + 1 ? 0 : g + 1); });
        groups_[static_cast<std::size_t>(g)] = b;
    }
    return_ = makeSkinButton(this, 0, "returnButton");
    return_->setStyle(ImageButton::Push);
    connect(return_, &ImageButton::clicked, this, [this] { nav_.viewGroup(0); });
    clearMute_ = makeSkinButton(this, 0, "clearMuteButton");
    clearMute_->setStyle(ImageButton::Push);
    connect(clearMute_, &ImageButton::clicked, this, [this] {
        edits_.announceUser(clearMute(state_, edits_.sink()),
                            resendingWith(queueMuteSweep, "CLEAR MUTE", "清除静音"));
    });
    clearSolo_ = makeSkinButton(this, 0, "clearSoloButton");
    clearSolo_->setStyle(ImageButton::Push);
    connect(clearSolo_, &ImageButton::clicked, this,
            [this] { edits_.announceUser(clearSolo(state_, edits_.sink())); });
    phantom_ = makeSkinButton(this, 0, "phantomPageButton");
    phantom_->setStyle(ImageButton::Push);
    connect(phantom_, &ImageButton::clicked, this, [this] { nav_.setTab(Tab::Phantom); });
    system_ = makeSkinButton(this, 0, "systemButton");
    connect(system_, &ImageButton::clicked, this, [this] {
        markSystem();
        nav_.setTab(Tab::System);
    });
    groupPage_ = makeSkinButton(this, 0, "groupPageButton");
    connect(groupPage_, &ImageButton::clicked, this, [this] {
        system_->setOn(false);
        groupPage_->setOn(true);
        nav_.setTab(Tab::Group);
    });
    listener_ = nav_.addListener([this](unsigned aspects) {
        if (aspects & (NavigationModel::BusAspect | NavigationModel::GroupViewAspect)) refresh();
    });
    // A group without members has nothing to show: the VIEW buttons follow the member counts.
    std::vector<FieldId> counts;
    for (int g = 1; g <= kControlGroups; ++g)
        counts.push_back(fieldId("controlGroups[" + std::to_string(g) + "][" +
                                 std::to_string(cg::kMemberCount + 1) + "]"));
    new WatchBinding(
        edits_, std::move(counts), [this] { refresh(); }, this);
    setLanguage(languageFlag());
    refresh();
}

SidePanel::~SidePanel() {
    nav_.removeListener(listener_);
}

void SidePanel::refresh() {
    for (int i = 0; i < kBuses; ++i)
        buses_[static_cast<std::size_t>(i)]->setOn(busOfButton(i) == nav_.bus());
    for (int g = 0; g < kControlGroups; ++g) {
        ImageButton* b = groups_[static_cast<std::size_t>(g)];
        b->setOn(nav_.viewedGroup() == g + 1);
        // A group without members has nothing to show.
        b->setGrayed(state_.controlGroups[static_cast<std::size_t>(g)][cg::kMemberCount] == 0);
    }
    update();
}

void SidePanel::setLanguage(int lang) {
    busTitle_->setText(pick(lang, "BUS", "总线"));
    viewTitle_->setText(pick(lang, "VIEW", "查看分组"));
    for (int g = 0; g < kControlGroups; ++g)
        groups_[static_cast<std::size_t>(g)]->setText(pick(lang, "CONTROL %1", "控制 %1").arg(g + 1));
    return_->setText(pick(lang, "RETURN", "返回"));
    clearMute_->setText(pick(lang, "CLEAR MUTE", "清除静音"));
    clearSolo_->setText(pick(lang, "CLEAR SOLO", "清除监听"));
    phantom_->setText(pick(lang, "PHANTOM", "幻象电源"));
    system_->setText(pick(lang, "SYSTEM", "系统"));
    groupPage_->setText(pick(lang, "GROUP", "分组"));
}

void SidePanel::markSystem() {
    system_->setOn(true);
    groupPage_->setOn(false);
}

void SidePanel::layoutControls() {
    const int w = width();
    const int bw = std::min(w - 12, 120);
    const int x = (w - bw) / 2;
    int y = 8;
    auto place = [&](QWidget* widget, int h = kButtonHeight) {
        widget->setGeometry(x, y, bw, h);
        y += kRow;
    };
    place(busTitle_, 20);
    for (ImageButton* b : buses_)
        place(b);
    y += 10;
    place(viewTitle_, 20);
    for (ImageButton* b : groups_)
        place(b);
    place(return_);
    y += 10;
    place(clearMute_);
    place(clearSolo_);
    y += 10;
    place(phantom_);
    place(system_);
    place(groupPage_);
}

void SidePanel::resizeEvent(QResizeEvent* event) {
    Page::resizeEvent(event);
    layoutControls();
}

void SidePanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    skin::paintPanel(p, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace quorvel::ui
