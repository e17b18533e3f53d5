// The DISPLAY tab: the conference units. A unit button selects which unit's five slots the
// selectors show; each selector is bound to that unit's slot field, so the one-value-once rule
// and the X frame come from the edit operation.
#pragma once

#include <QWidget>

#include <array>

#include "link/device_state.h"
#include "pages/page_context.h"

class QLabel;

namespace quorvel {
class DropList;
class ImageButton;
} // namespace quorvel

namespace quorvel::ui {

class ListBinding;
class NavButton;

class UnitPanel : public QWidget {
    Q_OBJECT
public:
    // The panel starts below the page's tab buttons; its controls are placed in page coordinates.
    static constexpr int kTop = 90;

    UnitPanel(const PageContext& ctx, QWidget* parent);

    // What showing the tab does: the first unitCount buttons enabled, a unit selected if any.
    void showUnits();
    void selectUnit(int index); // 0..3
    int selectedUnit() const { return selected_; }
    void call();
    // Asks first; then every slot NULL and, online, X for each unit.
    void requestReset();
    void resetAll();
    void setLanguage(int languageFlag);

    ImageButton* unitButton(int i) const { return units_[static_cast<std::size_t>(i)]; }
    DropList* selector(int s) const { return selectors_[static_cast<std::size_t>(s)]; }
    NavButton* callButton() const { return call_; }
    NavButton* resetButton() const { return reset_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    const PageContext& ctx_;
    int selected_ = -1;
    std::array<ImageButton*, kUnits> units_{};
    std::array<DropList*, kUnitSlots> selectors_{};
    std::array<ListBinding*, kUnitSlots> bindings_{};
    std::array<QLabel*, kUnitSlots> markers_{};
    NavButton* call_;
    NavButton* reset_;
};

} // namespace quorvel::ui
