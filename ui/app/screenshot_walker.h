// Walks the window through every tab, view and detail page and saves one PNG of each, then closes
// the window the orderly way. Used by the screenshot script under a virtual display.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QMenu;

namespace quorvel::ui {

class MainWindow;

class ScreenshotWalker : public QObject {
    Q_OBJECT
public:
    ScreenshotWalker(MainWindow& window, QString outDir, bool waitForLink);
    void start();

private:
    struct Step {
        QString name;
        std::function<void()> action;
        std::function<QWidget*()> target; // what to grab; the window when empty
        int settleMs = 0;                 // how long the action needs before the grab; 0: the usual
    };
    void next();
    bool metersMoving() const;
    void showMenu(QMenu* menu);

    MainWindow& window_;
    QString outDir_;
    bool waitForLink_;
    std::vector<Step> steps_;
    std::size_t index_ = 0;
    int waitedMs_ = 0;
    int extraWaitMs_ = 0;
    QTimer timer_;
    QPointer<QWidget> dialog_; // the small dialog of the current step, if any
};

} // namespace quorvel::ui
