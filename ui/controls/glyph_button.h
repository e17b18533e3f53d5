// Small button drawn entirely in code: a rounded rectangle in one of four states with either a
// line glyph (close, pin, minimise, ...) or its text as content. Used on the channel strips.
#pragma once

#include <QColor>
#include <QRgb>
#include <QString>
#include <QWidget>

namespace quorvel {

struct GlyphStyle {
    QString glyph;
    int cornerSize = 0;
    bool focusRing = false;
    QRgb focusColor = qRgb(0xC8, 0xC8, 0xFA);
    QRgb borderNormal = qRgb(0x10, 0x28, 0x9C), borderOver = qRgb(0x10, 0x28, 0x9C),
         borderDown = qRgb(0xFF, 0xFF, 0x00), borderGray = qRgb(0xAC, 0xA8, 0x99);
    QRgb inkNormal = qRgb(0x10, 0x28, 0x9C), inkOver = qRgb(0xFF, 0xFF, 0xFF),
         inkDown = qRgb(0x00, 0xFF, 0xFF), inkGray = qRgb(0xAC, 0xA8, 0x99);
    // 0 = hollow (the parent shows through).
    QRgb fillNormal = 0, fillOver = 0, fillDown = 0, fillGray = 0;
};

class GlyphButton : public QWidget {
    Q_OBJECT
public:
    enum class State { Normal, Over, Down, Gray };

    explicit GlyphButton(int id = 0, QWidget* parent = nullptr);

    int id() const { return id_; }

    void setStyle(const GlyphStyle& s, bool redraw = true);
    const GlyphStyle& glyphStyle() const { return style_; }
    void setText(const QString& t);
    QString text() const { return text_; }

    State state() const;
    // Colours used in a state (the active variants swap normal and over ink).
    QRgb border(State s) const;
    QRgb ink(State s) const;
    QRgb fill(State s) const;
    // True when the glyph name is one of the drawn kinds (anything else draws the text).
    static bool isKnownGlyph(const QString& glyph);

    QSize sizeHint() const override { return {20, 20}; }

signals:
    void clicked(int id);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void changeEvent(QEvent*) override;

private:
    void drawGlyph(QPainter& p, QRect r, QColor ink) const;

    int id_;
    GlyphStyle style_;
    QString text_;
    bool hovered_ = false;
    bool pressed_ = false;
};

} // namespace quorvel
