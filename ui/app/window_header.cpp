#include "app/window_header.h"

#include <QLabel>
#include <QVector>

#include "widgets/nav_button.h"
#include "widgets/skin_painter.h"
#include "widgets/skin_style.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

QLabel* makeLabel(QWidget* parent, const char* objectName, int pixelSize) {
    auto* l = new QLabel(parent);
    l->setObjectName(objectName);
    l->setFont(skin::uiFont(pixelSize, true));
    l->setAlignment(Qt::AlignCenter);
    skin::styleLabel(l);
    return l;
}

struct TabButton {
    const char* objectName;
    const char* en;
    const char* zh;
    Tab tab;
};
constexpr TabButton kTabs[5] = {{"tabChannel", "CHANNEL", "通道", Tab::Channel},
                                {"tabMatrix", "MATRIX", "矩阵", Tab::Matrix},
                                {"tabMode", "MODE", "模式", Tab::Mode},
                                {"tabSystem", "SYSTEM", "系统", Tab::System},
                                {"tabGroups", "GROUPS", "分组", Tab::Group}};

struct ViewButton {
    const char* objectName;
    const char* labelName;
    const char* en;
    const char* zh;
    StripView view;
    int x; // from W + W/2
};
constexpr ViewButton kViews[4] = {
    {"viewCh1to8", "labelCh1to8", "CH1-8", "通道1-8", StripView::Ch1to8, 10},
    {"viewCh9to12", "labelCh9to12", "CH9-12", "通道9-12", StripView::Ch9to12, 120},
    {"viewEffect", "labelEffect", "EFFECT", "效果", StripView::Effect, 230},
    {"viewOutputs", "labelOutputs", "OUTPUTS", "输出", StripView::Outputs, 400}};
constexpr std::size_t kEffectView = 2; // no room for it beside the readout: hidden

NavButton* groupButton(QWidget* canvas, const QString& name, int g) {
    auto* b = new NavButton(NavButton::Style::Small, canvas);
    b->setObjectName(name.arg(g + 1));
    b->setText(QString::number(g + 1));
    b->resize(42, 24);
    return b;
}

} // namespace

WindowHeader::WindowHeader(NavigationModel& nav, QWidget* canvas, QWidget* readout)
    : QObject(canvas), nav_(nav), readout_(readout) {
    for (std::size_t i = 0; i < tabs_.size(); ++i) {
        auto* b = new NavButton(NavButton::Style::Tab, canvas);
        b->setObjectName(kTabs[i].objectName);
        connect(b, &NavButton::clicked, this, [this, i] {
            nav_.setTab(kTabs[i].tab);
            mark();
        });
        tabs_[i] = b;
    }
    for (std::size_t i = 0; i < views_.size(); ++i) {
        auto* b = new NavButton(NavButton::Style::View, canvas);
        b->setObjectName(kViews[i].objectName);
        b->resize(100, 60);
        // Ignored while a group's members are shown.
        connect(b, &NavButton::clicked, this, [this, i] {
            nav_.selectView(kViews[i].view);
            mark();
        });
        views_[i] = b;
        viewLabels_[i] = makeLabel(canvas, kViews[i].labelName, 13);
    }
    views_[kEffectView]->hide();
    viewLabels_[kEffectView]->hide();

    linkLamp_ = new NavButton(NavButton::Style::Link, canvas);
    linkLamp_->setObjectName("linkIndicator");
    connect(linkLamp_, &NavButton::clicked, this, [this] {
        // While lit it only shows the link; otherwise it leads to the device settings.
        if (!linkLamp_->lampOn()) emit settingsRequested();
    });
    reportLamp_ = new NavButton(NavButton::Style::Link, canvas);
    reportLamp_->setObjectName("reportIndicator");
    reportLamp_->hide();
    menuToggle_ = new NavButton(NavButton::Style::Small, canvas);
    menuToggle_->setObjectName("menuToggle");
    menuToggle_->hide();
    home_ = makeLabel(canvas, "labelHome", 13);
    home_->hide();

    for (int g = 0; g < kMuteGroups; ++g) {
        NavButton* b = groupButton(canvas, QStringLiteral("muteGroup%1"), g);
        connect(b, &NavButton::toggled, this, [this, g](bool on) { emit muteGroupToggled(g, on); });
        muteGroups_[static_cast<std::size_t>(g)] = b;
    }
    for (int g = 0; g < kControlGroups; ++g) {
        NavButton* b = groupButton(canvas, QStringLiteral("controlGroup%1"), g);
        connect(b, &NavButton::clicked, this, [this, g] { emit controlGroupClicked(g); });
        controlGroups_[static_cast<std::size_t>(g)] = b;
    }
    muteGroupsLabel_ = makeLabel(canvas, "labelMuteGroups", 15);
    controlGroupsLabel_ = makeLabel(canvas, "labelControlGroups", 15);
    status_ = makeLabel(canvas, "statusLabel", 14);
}

void WindowHeader::place(int W) {
    for (std::size_t i = 0; i < tabs_.size(); ++i)
        tabs_[i]->setGeometry(static_cast<int>(i) * W, 120, W, 50);
    for (int g = 0; g < kMuteGroups; ++g) {
        const int x = (g % 2 == 0) ? 5 * W + W / 2 - 40 : 5 * W + W / 2 + 10;
        const int y = g < 2 ? 132 : 160;
        muteGroups_[static_cast<std::size_t>(g)]->move(x, y);
        controlGroups_[static_cast<std::size_t>(g)]->move(x + W, y);
    }
    muteGroupsLabel_->setGeometry(5 * W, 100, W, 30);
    controlGroupsLabel_->setGeometry(6 * W, 100, W, 30);

    const int base = W + W / 2;
    for (std::size_t i = 0; i < views_.size(); ++i) {
        views_[i]->move(base + kViews[i].x, 5);
        viewLabels_[i]->setGeometry(base + kViews[i].x, 65, 100, 24);
    }
    readout_->move(base + 230, 0);
    status_->setGeometry(6 * W + W / 2 + 10, 60, 90, 30);
    linkLamp_->setGeometry(6 * W + W / 2 + 25, 10, 60, 45);
}

void WindowHeader::mark() {
    for (std::size_t i = 0; i < tabs_.size(); ++i)
        tabs_[i]->setChecked(kTabs[i].tab == nav_.tab());
    // Only the CHANNEL tab's strips show a view; elsewhere no view button is marked.
    const bool strips =
        nav_.tab() == Tab::Channel && nav_.detail() == DetailPage::None && nav_.viewedGroup() == 0;
    for (std::size_t i = 0; i < views_.size(); ++i)
        views_[i]->setChecked(strips && nav_.view() == kViews[i].view);
}

void WindowHeader::markControlGroup(int selected) {
    for (int g = 0; g < kControlGroups; ++g)
        controlGroups_[static_cast<std::size_t>(g)]->setChecked(g == selected);
}

void WindowHeader::setLanguage(int lang) {
    language_ = lang;
    for (std::size_t i = 0; i < viewLabels_.size(); ++i)
        viewLabels_[i]->setText(pick(lang, kViews[i].en, kViews[i].zh));
    home_->setText(pick(lang, "HOME", "主页"));
    muteGroupsLabel_->setText(pick(lang, "M GROUPS", "静音分组"));
    controlGroupsLabel_->setText(pick(lang, "C GROUPS", "控制分组"));
    for (std::size_t i = 0; i < tabs_.size(); ++i)
        tabs_[i]->setText(pick(lang, kTabs[i].en, kTabs[i].zh));
    status_->setText(online_ ? pick(lang, "ONLINE", "在线") : pick(lang, "OFFLINE", "离线"));
}

void WindowHeader::showThumbnails(const DeviceState& s) {
    auto inputs = [&s](int first, int last) {
        QVector<NavButton::FaderThumb> t;
        for (int c = first; c <= last; ++c)
            t.push_back({s.in(c).level, s.in(c).mute != 0});
        return t;
    };
    views_[0]->setThumbnail(inputs(1, 8));
    views_[1]->setThumbnail(inputs(9, 12));
    QVector<NavButton::FaderThumb> outs;
    for (int o = 1; o <= 4; ++o)
        outs.push_back({s.out(o).level, s.out(o).mute != 0});
    views_[3]->setThumbnail(outs);
}

void WindowHeader::setStatus(bool online, const QString& text) {
    online_ = online;
    status_->setText(text);
    status_->setToolTip(QString());
    skin::styleLabel(status_, online ? skin::LabelTone::Online : skin::LabelTone::Normal);
}

void WindowHeader::showSendFailure(const QString& error, quint64 failures) {
    status_->setText(pick(language_, "SEND FAILED", "发送失败"));
    status_->setToolTip(pick(language_, "%1 (%2 so far)", "%1 (已%2次)").arg(error).arg(failures));
    skin::styleLabel(status_, skin::LabelTone::Warning);
}

void WindowHeader::setLinkLamp(bool on) {
    linkLamp_->setLampOn(on);
}

void WindowHeader::setReportLamp(bool on) {
    reportLamp_->setLampOn(on);
}

} // namespace quorvel::ui
