// The window's navigation buttons (tabs, views, group toggles, the link button): a checkable
// button with a raised look and an amber edge when selected.
#pragma once

#include <QAbstractButton>

namespace quorvel::ui {

class NavButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Style { Tab, View, Small, Link };
    NavButton(Style style, QWidget* parent);

    // The link button shows a lamp instead of a caption.
    void setLampOn(bool on);
    bool lampOn() const { return lampOn_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Style style_;
    bool lampOn_ = false;
};

} // namespace quorvel::ui
