// The bindings of the skinned controls: a fader or knob, a toggle button, a drop-down list, each
// tied to one field.
#pragma once

#include <QPointer>
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "binding/field_binding.h"

namespace quorvel {
class DropList;
class FaderCtrl;
class ImageButton;
} // namespace quorvel

namespace quorvel::ui {

// Field value <-> control position, and the text a fader shows for a value. Every page that
// shows a field the same way uses the same map, so the arithmetic lives here once.
struct ValueMap {
    int (*toControl)(std::int32_t raw);
    std::int32_t (*toRaw)(int position);
    QString (*text)(std::int32_t raw) = nullptr;

    static ValueMap identity();
    // Channel faders: position 0 is the top (level 70, +10 dB), a level shows as level - 60 dB.
    static ValueMap levelFader();
};

class FaderBinding : public FieldBinding {
    Q_OBJECT
public:
    enum class Send {
        EveryMove, // each step of a drag is edited and sent; the paced sender keeps the latest
        OnRelease, // steps are stored and shown; the release sends
    };

    FaderBinding(FaderCtrl* fader, EditController& edits, FieldId field, ValueMap map = ValueMap::identity(),
                 Send send = Send::EveryMove);
    ~FaderBinding() override;

    // A double click puts the field to this value (the pan knob's centre); without one, to the
    // field's documented default when it has one.
    void setDoubleClickValue(std::int32_t raw);
    void sync() override;

private:
    void onMove(int position, bool finished);

    FaderCtrl* fader_;
    ValueMap map_;
    Send send_;
    bool resetOnDoubleClick_ = false;
    std::int32_t resetValue_ = 0;
    QPointer<EditController> gesture_; // set during a drag: its steps are one undo step
};

class ToggleBinding : public FieldBinding {
    Q_OBJECT
public:
    // Lit while the field holds `on`; a click writes the other value, decided from the state and
    // never from how the button looks.
    ToggleBinding(ImageButton* button, EditController& edits, FieldId field, std::int32_t on = 1,
                  std::int32_t off = 0);

    // The caption follows the value (MIC / LINE).
    void setCaption(std::function<QString(std::int32_t raw)> caption);
    // Shows the field; clicks are the page's (COMP opens the dynamics page).
    void setDisplayOnly(bool on) { displayOnly_ = on; }
    void sync() override;

private:
    void onClick();

    ImageButton* button_;
    std::int32_t on_;
    std::int32_t off_;
    bool displayOnly_ = false;
    std::function<QString(std::int32_t)> caption_;
};

class ListBinding : public FieldBinding {
    Q_OBJECT
public:
    // Item i stands for values[i], or for the value i when values is empty.
    ListBinding(DropList* list, EditController& edits, FieldId field, std::vector<std::int32_t> values = {});

    // An edit the operation refused puts the list back; this hears why.
    void setRefusalHandler(std::function<void(const std::string& why)> handler) {
        refusal_ = std::move(handler);
    }
    void sync() override;

private:
    void onChosen(int index);

    DropList* list_;
    std::vector<std::int32_t> values_;
    std::function<void(const std::string&)> refusal_;
};

} // namespace quorvel::ui
