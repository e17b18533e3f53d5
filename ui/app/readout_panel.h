// The readout of the parameter touched last: channel and parameter names and the two value
// fields, in which a value can be typed. It formats through the Qt-free readout functions and
// follows the change notification, so a report or another view's edit shows at once.
#pragma once

#include <vector>

#include <QWidget>

#include "link/change_set.h"
#include "link/device_state.h"

class QLabel;
class QLineEdit;

namespace quorvel::ui {

class EditController;

class ReadoutPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 160;
    static constexpr int kHeight = 90;

    ReadoutPanel(EditController& edits, QWidget* parent);

    // readoutChannel 0..17 inputs, 18..25 outputs; kind as the readout numbers them.
    void showParameter(int readoutChannel, int kind);
    int readoutChannel() const { return channel_; }
    int kind() const { return kind_; }
    void setLanguage(int languageFlag);
    // Enter in value field 0 or 1.
    void applyTypedValue(int field);
    // Redraws the texts from the state; a value being typed is left alone.
    void updateTexts();

private:
    void onChanged(const ChangeSet& changes);
    void onEdited(FieldId field);
    void findShownFields();

    // The fields the texts are made of: the values and the channel's name.
    std::vector<FieldId> shown_;

    EditController& edits_;
    int channel_ = 0;
    int kind_ = 1;
    int language_ = 1;
    QLabel* channelName_;
    QLabel* paramName_;
    QLineEdit* value1_;
    QLineEdit* value2_;
};

} // namespace quorvel::ui
