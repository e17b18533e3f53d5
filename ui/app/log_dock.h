// The "Log" panel: the event log and the traffic log in two tabs. Hidden by default and toggled
// from the View menu. While it is hidden the link is hooked to the traffic log only if a file is
// written (--log-traffic), so a closed panel costs nothing. Lines are pulled a few times a second
// and appended in one go; the views keep at most kMaxLines.
#pragma once

#include <QDockWidget>
#include <QTimer>

#include <cstdint>
#include <deque>

#include "log/traffic_log.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace quorvel {
class EventLog;
}

namespace quorvel::ui {

class LinkAdapter;
class MainWindow;

class LogDock : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 10000;
    static constexpr int kRefreshMs = 250;

    // link may be null (no live link: the traffic tab stays empty).
    LogDock(TrafficLog& traffic, EventLog& events, LinkAdapter* link, QWidget* parent = nullptr);
    ~LogDock() override;

    // Docks it at the bottom of the window, hidden, with its toggle in the View menu; the link's
    // status changes go to the event log from then on.
    static LogDock* install(MainWindow& window, LinkAdapter& link, TrafficLog& traffic, EventLog& events);

    const TrafficFilter& filter() const { return filter_; }
    bool paused() const;
    QTabWidget* tabs() const { return tabs_; }
    QPlainTextEdit* trafficView() const { return trafficView_; }
    QPlainTextEdit* eventView() const { return eventView_; }
    QLineEdit* lettersField() const { return letters_; }
    QCheckBox* reportsBox() const { return reports_; }
    QCheckBox* pauseBox() const { return pause_; }
    // "12 of 40 lines shown": an empty view with reports hidden is not an idle line.
    QLabel* countLabel() const { return count_; }
    // Takes what the logs hold now (the timer does it while the panel shows).
    void refresh();
    // The current tab's selection, or all of it when nothing is selected, to the clipboard.
    void copy();
    // Hooks the link to the traffic log while a file is written or the panel shows.
    void updateHook();

private:
    void onVisible(bool visible);
    void filterChanged();
    void rebuildTraffic();
    void appendEvents();
    void showCount();

    TrafficLog& traffic_;
    EventLog& events_;
    LinkAdapter* link_;
    TrafficFilter filter_;
    std::deque<TrafficLine> lines_; // what the panel has taken, filtered or not
    std::uint64_t missed_ = 0;
    std::size_t shown_ = 0; // of lines_, those the filter lets through
    std::uint64_t eventSeq_ = 0;
    bool pending_ = false; // lines came in while paused
    QTimer timer_;
    QTabWidget* tabs_;
    QPlainTextEdit* eventView_;
    QPlainTextEdit* trafficView_;
    QLineEdit* letters_;
    QCheckBox* reports_;
    QCheckBox* pause_;
    QLabel* count_;
    QPushButton* copy_;
    QPushButton* clear_;
};

} // namespace quorvel::ui
