// Static text of the skin: bold anti-aliased text over the parent's background with a tooltip
// that repeats it, an image instead of text, or a formatted parameter value.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace quorvel {

struct LabelNumber {
    double divisor = 1.0;
    double offset = 0.0;
    int offMode = 0; // 0 none; 1 "OFF" at offLow; 2 "OFF" at offHigh
    double offLow = 1.0;
    double offHigh = 10.0;
    QString prefix;
    QString suffix;
};

// The text a numeric label shows for `value`.
QString formatLabelValue(double value, const LabelNumber& n);

class SkinLabel : public QWidget {
    Q_OBJECT
public:
    enum Frame { NoFrame, Sunken, BlackEdge };

    explicit SkinLabel(int id = 0, QWidget* parent = nullptr);

    int id() const { return id_; }

    void setText(const QString& t);
    // The shown text; in numeric mode the last formatted value.
    QString text() const { return text_; }

    void setTextMode(bool on);
    bool textMode() const { return textMode_; }
    void setValue(double v);
    double value() const { return value_; }
    void setNumber(const LabelNumber& n);
    const LabelNumber& number() const { return number_; }

    void setFontSize(qreal points);
    // 0 near, 1 centre, 2 far, in both directions.
    void setAlignment(int a);
    void setTextColor(const QColor& c);
    void setTransparent(bool on);
    void setFill(const QColor& c);
    void setFrame(Frame f);
    // Shows the image instead of text and takes its size.
    void setImage(int imageId);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void refreshText();

    int id_;
    QString text_;
    bool textMode_ = true;
    qreal fontSize_ = 8;
    int alignment_ = 1;
    QColor textColor_{0xFF, 0xFF, 0xFF};
    bool transparent_ = true;
    QColor fill_{0x1A, 0x1E, 0x24};
    Frame frame_ = NoFrame;
    double value_ = 0.0;
    LabelNumber number_;
    int image_ = 0;
};

} // namespace quorvel
