// The one top-level window: navigation among the pages (created once, then only moved, shown and
// hidden), the readout of the parameter touched last with its typed value entry, the link
// indicator and status label, and the orderly close.
#pragma once

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <memory>

#include "link/device_state.h"
#include "link/reports.h"

class QLabel;
class QLineEdit;
class QScrollArea;

namespace quorvel {
class EditSink;
}

namespace quorvel::ui {

class InputStrip;
class OutputStrip;
using InputStripView = InputStrip;
using OutputStripView = OutputStrip;

class DeviceSettingsPage;
class EditController;
class LinkAdapter;
struct PageContext;
class NavButton;
class Page;
class Profile;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kPageTop = 200;
    static constexpr int kMinStripWidth = 150;
    static constexpr int kMinPageHeight = 700;

    enum Tab { ChannelTab = 0, SystemTab = 1, MatrixTab = 2, ModeTab = 3, GroupTab = 4, PhantomTab = 5 };
    enum View { Ch1to8 = 1, Ch9to12 = 2, EffectView = 3, OutputsView = 4 };

    MainWindow(DeviceState& state, LinkAdapter& link, const Profile& profile, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Layout metrics from a client size: strip width 2/21 of the width (at least 150), page height
    // the height less 220 (at least 700).
    static int stripWidthFor(int clientWidth);
    static int pageHeightFor(int clientHeight);

    int stripWidth() const { return stripWidth_; }
    int panelWidth() const { return stripWidth_; }
    int pageHeight() const { return pageHeight_; }
    int view() const { return view_; }
    int bus() const { return bus_; }
    int tab() const { return tab_; }
    int displayMode() const { return displayMode_; }
    bool groupView() const { return groupView_ != 0; }

    void showView(int view, int bus, int tab);
    // channel 0..17, type 1 dynamics, 2 PEQ, 3 effects, 4 AUX.
    void openInputDetail(int channel, int type);
    // output 0..7, type 1 limiter, 2 GEQ.
    void openOutputDetail(int output, int type);
    void showGroupMembers(int group, int output);

    void setReadout(int readoutChannel, int kind);
    void updateReadout();
    int readoutChannel() const { return readoutChannel_; }
    int readoutKind() const { return readoutKind_; }
    // Enter in value field 0 or 1.
    void applyTypedValue(int field);

    void setLanguage(int languageFlag);
    void refreshAllViews();
    // The CH1-8, CH9-12 and OUTPUTS view buttons mirror their strips' levels and mutes.
    void updateViewThumbnails();
    void openAbout();

    // Pages by their resource number (149..179), strips by index.
    Page* page(int resource) const;
    InputStripView* inputStrip(int index) const { return inputStrips_[static_cast<std::size_t>(index)]; }
    OutputStripView* outputStrip(int index) const { return outputStrips_[static_cast<std::size_t>(index)]; }
    InputStripView* detailInputStrip() const { return detailInput_; }
    OutputStripView* detailOutputStrip() const { return detailOutput_; }
    EditSink& editSink() const { return *sink_; }
    EditController& edits() const { return *edits_; }
    // The same strips as plain pages, for callers that need no strip type.
    Page* inputStripPage(int index) const;
    Page* outputStripPage(int index) const;
    DeviceSettingsPage* deviceSettingsPage() const { return deviceSettings_; }
    QWidget* canvas() const { return canvas_; }
    QScrollArea* scrollArea() const { return scroll_; }
    bool closing() const { return closing_; }
    bool linkOnline() const { return state_.link.linkOnline; }
    const DeviceState& state() const { return state_; }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildPages();
    void wireStrips();
    void clientResized();
    void resetScroll();
    void hideAllPages();
    void placeHeader();
    void navigateView(int view);
    void markViews();
    void navigateTab(int tab);
    void onLinkIndicator(bool on);
    void onStatusLabel(bool online, const QString& text);
    void onMessage(const QString& text, const QString& caption);
    void onReport(const DispatchResult& r);
    void closeTick();
    void collectPages();
    const QList<Page*>& allPages() const { return pages_; }

    DeviceState& state_;
    LinkAdapter& link_;
    const Profile& profile_;

    int view_ = Ch1to8;
    int bus_ = 1;
    int tab_ = ChannelTab;
    int stripWidth_ = 100;
    int pageHeight_ = 500;
    int displayMode_ = 1;
    int groupView_ = 0;
    int readoutChannel_ = 0;
    int readoutKind_ = 1;
    int language_ = 1;
    bool statusOnline_ = false;
    bool initialised_ = false;
    bool closing_ = false;
    bool closeDone_ = false;
    QTimer closeTimer_;

    QScrollArea* scroll_ = nullptr;
    QWidget* canvas_ = nullptr;
    std::array<NavButton*, 5> tabButtons_{}; // CHANNEL, MATRIX, MODE, SYSTEM, GROUPS
    NavButton* viewCh1to8_ = nullptr;        // 1006
    NavButton* viewCh9to12_ = nullptr;       // 1001
    NavButton* viewEffect_ = nullptr;        // 1002, hidden
    NavButton* viewOutputs_ = nullptr;       // 1007
    NavButton* linkIndicator_ = nullptr;     // 1003
    NavButton* reportIndicator_ = nullptr;   // 1004, hidden
    NavButton* menuToggle_ = nullptr;        // 1005, hidden
    std::array<NavButton*, kMuteGroups> muteGroupButtons_{};
    std::array<NavButton*, kControlGroups> controlGroupButtons_{};
    QLabel* labelCh1to8_ = nullptr;        // 1056
    QLabel* labelCh9to12_ = nullptr;       // 1057
    QLabel* labelEffect_ = nullptr;        // 1058
    QLabel* labelOutputs_ = nullptr;       // 1061
    QLabel* labelHome_ = nullptr;          // 1060
    QLabel* labelMuteGroups_ = nullptr;    // 1087
    QLabel* labelControlGroups_ = nullptr; // 1089
    QLabel* statusLabel_ = nullptr;        // 1059
    QLabel* readoutChannelName_ = nullptr; // 1054
    QLabel* readoutParamName_ = nullptr;   // 1055
    QLineEdit* readoutValue1_ = nullptr;   // 1052
    QLineEdit* readoutValue2_ = nullptr;   // 1053

    std::unique_ptr<EditSink> sink_; // page edits into the paced sender
    std::unique_ptr<EditController> edits_;
    std::unique_ptr<PageContext> context_;
    std::array<InputStripView*, kInputRecords> inputStrips_{};
    std::array<OutputStripView*, kOutputRecords> outputStrips_{};
    InputStripView* detailInput_ = nullptr;
    OutputStripView* detailOutput_ = nullptr;
    Page* sidePanel_ = nullptr;                    // 152
    DeviceSettingsPage* deviceSettings_ = nullptr; // 153
    Page* phantom_ = nullptr;                      // 179
    Page* matrix_ = nullptr;                       // 154
    Page* mode_ = nullptr;                         // 155
    Page* groups_ = nullptr;                       // 169
    Page* aux_ = nullptr;                          // 170
    Page* dynamics_ = nullptr;                     // 149
    Page* peq_ = nullptr;                          // 150
    Page* effect_ = nullptr;                       // 157
    Page* limiter_ = nullptr;                      // 156
    Page* geq_ = nullptr;                          // 151
    QList<Page*> pages_;                           // every page above, in a fixed order
};

} // namespace quorvel::ui
