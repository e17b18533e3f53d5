// The skinned slider of the application: channel faders, pan and the parameter knobs of the
// processing pages. It knows only its integer range; pages give the position its meaning.
#pragma once

#include <QWidget>

#include <functional>

#include "controls/slider_handler.h"

namespace quorvel {

class FaderCtrl : public QWidget {
    Q_OBJECT
public:
    explicit FaderCtrl(int id = 0, QWidget* parent = nullptr);
    ~FaderCtrl() override;

    int id() const { return id_; }

    // Track art and an optional fill drawn from the minimum end to the thumb. Id 0 clears the
    // track. The control takes the art's size. False when an image is missing (none is kept).
    bool setTrackBitmaps(int imageId, int fillId = 0, bool transparent = false);
    bool setThumbBitmaps(int imageId, int secondId = 0, bool transparent = true);
    void setThumbArea(int left, int top, int right, int bottom);

    void setRange(int minimum, int maximum, bool redraw = true);
    void setMinimum(int value, bool redraw = true);
    void setMaximum(int value, bool redraw = true);
    int minimum() const { return handler_.geometry.minimum; }
    int maximum() const { return handler_.geometry.maximum; }

    // Clamps, stores and repaints; never notifies. While the user drags the thumb, values pushed
    // from outside (device reports) are ignored: the hand on the fader wins.
    void setPosition(int value);
    int position() const { return handler_.position(); }

    bool vertical() const { return handler_.geometry.vertical; }
    void setVertical(bool v);
    int pageStep() const { return handler_.pageStep; }
    void setPageStep(int step) { handler_.pageStep = step; }

    const FaderDisplay& display() const { return display_; }
    void setDisplay(const FaderDisplay& d);
    void setShowText(bool on);
    void setTextHeight(int h);
    void setTextColor(const QColor& c);
    // Fill behind an opaque track; none by default, so the skin panel behind the control shows.
    void setBackgroundColor(const QColor& c);
    void setThumbNumber(int n);
    // 1: second thumb while dragging; 2: second thumb exactly at the detent position.
    void setThumbMode(int mode, int detentPosition = 0);
    void setFocusMark(bool on) { focusMark_ = on; }
    // Tooltip and drag bubble text; defaults to the value text.
    void setValueFormatter(std::function<QString(int)> f);

    QString valueText() const;
    bool isDragging() const { return handler_.dragging(); }
    bool drewWithFocus() const { return drewWithFocus_; }
    const FaderGeometry& geometry() const { return handler_.geometry; }
    int thumbCentre() const { return faderPositionToPixel(handler_.geometry, position()); }

    QSize sizeHint() const override;

signals:
    void faderChanging(int id, int pos);
    void faderChanged(int id, int pos);
    void faderDoubleClicked(int id, int pos);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    void focusOutEvent(QFocusEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent*) override;
    bool event(QEvent*) override;

private:
    void notify(SliderHandler::Notify n);
    void refreshToolTip();
    QRect thumbRect() const;

    int id_;
    SliderHandler handler_;
    FaderDisplay display_;
    std::function<QString(int)> formatter_;

    int trackId_ = 0, fillId_ = 0, thumbId_ = 0, thumb2Id_ = 0;
    bool transparentTrack_ = false;
    bool transparentThumb_ = false;
    bool showText_ = true;
    int textHeight_ = 18;
    QColor textColor_{Qt::black};
    QColor backgroundColor_;
    int thumbNumber_ = 0;
    int thumbMode_ = 1;
    int detentPosition_ = 0;
    bool focusMark_ = true;
    bool drewWithFocus_ = false;
};

} // namespace quorvel
