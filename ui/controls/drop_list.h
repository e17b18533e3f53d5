// Skinned replacement of a combo box: an image button captioned with the current choice that
// opens a borderless list below itself. Every choice the user makes is reported through
// itemChosen, also when it repeats the current one.
#pragma once

#include <QColor>
#include <QStringList>
#include <QWidget>

class QListWidget;
class QListWidgetItem;

namespace quorvel {

class DropList : public QWidget {
    Q_OBJECT
public:
    static constexpr int kItemHeight = 40;
    static constexpr int kListId = 1125;

    explicit DropList(int id = 0, QWidget* parent = nullptr);
    ~DropList() override;

    int id() const { return id_; }

    void addItem(const QString& text);
    void setItems(const QStringList& items);
    void clear();
    int count() const;
    QString itemText(int index) const;

    // Clamps into the list, selects, captions; never notifies. Ignored on an empty list.
    void setSelection(int index);
    int selection() const { return selection_; }
    QString text() const { return caption_; }

    // 0 = plain face. With an image the control takes its size.
    void setBitmaps(int normalId, int activeId);
    void setTextColors(QColor normal, QColor active);
    void setDropWidth(int w) { dropWidth_ = w; }
    int dropWidth() const { return dropWidth_ > 0 ? dropWidth_ : width(); }
    void setMaxDropHeight(int h) { maxDropHeight_ = h; }
    bool isActive() const { return active_; }

    // Pop-up geometry in global coordinates for the current size and item count.
    QRect popupGeometry() const;
    bool isPopupVisible() const;
    void showPopup();
    void hidePopup();
    QListWidget* list() const { return list_; }

    // A selection change from the list. Taken only when the pointer is inside the pop-up
    // (a mouse choice); otherwise the list returns to the choice it opened with.
    void listSelectionChanged(int index, bool pointerInside);

    QSize sizeHint() const override;

signals:
    void itemChosen(int id, int index);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void focusOutEvent(QFocusEvent*) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void choose(int index);

    int id_;
    QListWidget* list_;
    int selection_ = -1;
    int openedWith_ = -1;
    QString caption_;
    int normalId_ = 0, activeId_ = 0;
    QColor textNormal_{0xFF, 0xFF, 0xFF};
    QColor textActive_{0xFF, 0xFF, 0xFF};
    bool active_ = false;
    int dropWidth_ = 0;
    int maxDropHeight_ = 200;
    int wheelAccumulator_ = 0;
};

} // namespace quorvel
