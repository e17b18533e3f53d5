#pragma once

#include <QDialog>

namespace quorvel::ui {

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The application icon, drawn rather than loaded so that it is always there.
QIcon applicationIcon();

} // namespace quorvel::ui
