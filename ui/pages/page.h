// What the main window needs of every strip and page: a refresh from DeviceState and a relabel.
// Pages own no parameter values; they redraw from the state they are given.
#pragma once

#include <QWidget>

#include "link/device_state.h"

namespace quorvel::ui {

class Page : public QWidget {
    Q_OBJECT
public:
    Page(DeviceState& state, QWidget* parent);

    // Rebuild every control from DeviceState.
    virtual void refresh() { update(); }
    void refreshAndShow() {
        refresh();
        show();
    }
    virtual void setLanguage(int languageFlag) { Q_UNUSED(languageFlag); }
    // Status reports: repaint what shows a meter, and only where the value moved.
    virtual void refreshMeters() {}

protected:
    DeviceState& state_;
};

} // namespace quorvel::ui
