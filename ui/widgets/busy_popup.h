// "Please wait!" while the handshake runs: 240 x 60, borderless, centred on its owner, with three
// coloured squares that walk back and forth every 300 ms. A timer drives the walk, so the window
// underneath keeps responding.
#pragma once

#include <QTimer>
#include <QWidget>

namespace quorvel::ui {

class BusyPopup : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 240;
    static constexpr int kHeight = 60;
    static constexpr int kStepMs = 300;

    explicit BusyPopup(QWidget* owner);

    // Centres on the owner, raises and starts walking; closing stops the walk.
    void popup();
    void dismiss();

    int markerX() const { return x_; }
    int markerStep() const { return step_; }
    // One step of the walk; public so that the turning rules can be checked without waiting.
    void advance();

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void paintSquares(QPainter& p);
    QRect squaresRect(int x) const;

    QTimer timer_;
    int x_ = 10;
    int step_ = 10;
    const int y_ = kHeight / 2 - 5;
};

} // namespace quorvel::ui
