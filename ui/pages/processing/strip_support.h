// Pieces the channel strips, the phantom page and the group page share: skinned toggles, the
// display form of a stored name, and the name menu with its dialog.
#pragma once

#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "link/device_state.h"

class QPainter;
class QWidget;

namespace quorvel {
class ImageButton;
}

namespace quorvel::ui {

// A toggle on the 165/166 pair, sized w x h.
ImageButton* makeSkinButton(QWidget* parent, int id, const char* objectName, int w = 80, int h = 24,
                            int imageA = 165, int imageB = 166);

// The UTF-8 form of a stored GBK name, or the fallback when it is empty.
QString displayName(const NameField& f, const QString& fallback = {});

// Pops up the strip menu (one item, "NAME") at the cursor; a chosen NAME opens the name dialog
// pre-filled with `current`, and an accepted name reaches `apply` as GBK bytes. Neither step
// blocks the event loop.
void openNameMenu(QWidget* owner, const QString& current, std::function<void(const std::string& gbk)> apply);

// The same menu with further items after NAME (the input strips' AUX and EFFECT).
struct StripMenuItem {
    const char* objectName;
    QString text;
    std::function<void()> run;
};
void openNameMenu(QWidget* owner, const QString& current, std::function<void(const std::string& gbk)> apply,
                  const std::vector<StripMenuItem>& extra);

// The strip panel behind the controls (art 189), stretched to the widget.
void paintStripBackground(QPainter& p, const QWidget* w);

// Fader and meter sit side by side, centred as a pair in a strip of the given width, the meter
// one pixel right of the fader; both strips use the same rows so their meters line up.
inline constexpr int kStripFaderY = 290;
inline constexpr int kStripMeterWidth = 30;
inline constexpr int kStripMeterHeight = 200;
void placeFaderAndMeter(QWidget* fader, QWidget* meter, int stripWidth);

} // namespace quorvel::ui
