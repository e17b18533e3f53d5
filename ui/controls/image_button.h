// The skinned push and toggle button: one of two images stretched to the button, a caption
// over it and optional indicator marks. The owner decides the on state; the button only shows it.
#pragma once

#include <QColor>
#include <QWidget>

namespace quorvel {

class ImageButton : public QWidget {
    Q_OBJECT
public:
    enum Style { Push = 0, Toggle = 1 };

    explicit ImageButton(int id = 0, QWidget* parent = nullptr);

    int id() const { return id_; }

    // Loads images A and B and sizes the button by sizeMode (0: keep width, height = A's
    // height / 2; 1: A's size; 2: half of A's size), keeping the top-left corner.
    void setImages(int imageA, int imageB);
    // Image shown by a toggle button in the grey state.
    void setImageC(int imageC);
    int imageA() const { return imageA_; }
    int imageB() const { return imageB_; }

    void setText(const QString& t);
    QString text() const { return text_; }

    int style() const { return style_; }
    void setStyle(int s);
    bool isOn() const { return on_; }
    void setOn(bool on);
    bool isGrayed() const { return grayed_; }
    void setGrayed(bool g);
    bool isHovered() const { return hovered_; }
    bool isPressed() const { return pressed_; }

    void setSizeMode(int m) { sizeMode_ = m; }
    int sizeMode() const { return sizeMode_; }
    void setShowText(bool on);
    void setTextSize(qreal points);
    void setTextColors(QColor normal, QColor on);
    void setIndicators(bool show, int count = 8, int level = 60);
    int indicatorLevel() const { return indicatorLevel_; }

    // The image id the button shows in its present state (0: none).
    int currentImage() const;
    // Caption colour used at the last paint.
    QColor textColor() const { return textColor_; }

    QSize sizeHint() const override;

signals:
    void clicked(int id);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    int id_;
    int style_ = Toggle;
    bool on_ = false;
    bool showText_ = true;
    int sizeMode_ = 0;
    QColor textColor_{0, 0, 0};
    QColor textColorNormal_{0xFF, 0xFF, 0xFF};
    QColor textColorOn_{0x00, 0xE6, 0xFF};
    qreal textSize_ = 8;
    int indicatorCount_ = 8;
    bool showIndicators_ = false;
    int indicatorLevel_ = 60;
    bool hovered_ = false;
    bool pressed_ = false;
    bool grayed_ = false;
    int imageA_ = 0, imageB_ = 0, imageC_ = 0;
    QString text_;
};

} // namespace quorvel
