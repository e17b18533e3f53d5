// The window's navigation buttons (tabs, views, group toggles, the link button): a checkable
// button with a raised look and an amber edge when selected.
#pragma once

#include <QAbstractButton>
#include <QVector>

namespace quorvel::ui {

class NavButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Style { Tab, View, Small, Link };
    NavButton(Style style, QWidget* parent);

    // The link button shows a lamp instead of a caption.
    void setLampOn(bool on);
    bool lampOn() const { return lampOn_; }

    // A view button draws the faders of the strips it leads to: one cap per channel at its level
    // (0..70, fader position 70 - level), red while muted. Repaints only when something changed.
    struct FaderThumb {
        int level = 0;
        bool mute = false;
        bool operator==(const FaderThumb&) const = default;
    };
    void setThumbnail(const QVector<FaderThumb>& faders);
    const QVector<FaderThumb>& thumbnail() const { return thumbs_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Style style_;
    bool lampOn_ = false;
    QVector<FaderThumb> thumbs_;
};

} // namespace quorvel::ui
