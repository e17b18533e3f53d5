// A channel strip until the real strips arrive: name, fader position, meter and mute, drawn from
// DeviceState. The meter repaints only its own rectangle and only when the shown value moved.
#pragma once

#include "pages/page.h"

namespace quorvel::ui {

class StripPlaceholder : public Page {
    Q_OBJECT
public:
    // index is 0-based: input records 0..17 or outputs 0..7.
    StripPlaceholder(DeviceState& state, bool output, int index, QWidget* parent);

    void bindTo(int index);
    int index() const { return index_; }
    bool isOutput() const { return output_; }
    int shownMeter() const { return shownMeter_; }

    void refresh() override;
    void refreshMeters() override;
    void setLanguage(int languageFlag) override;
    QRect meterRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int level() const;
    bool muted() const;
    int meterValue() const;
    bool hasMeter() const;
    QString name() const;

    bool output_;
    int index_;
    int shownMeter_ = 0;
    int language_ = 1;
};

} // namespace quorvel::ui
