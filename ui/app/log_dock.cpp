// The link's headers go first: Qt's keyword macros must not be defined while they are read.
#include "link/connection.h"
#include "link/device_link.h"
#include "log/event_log.h"

#include "app/log_dock.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <memory>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "session/link_adapter.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {
namespace {

QPlainTextEdit* makeView(QWidget* parent, const char* name) {
    auto* v = new QPlainTextEdit(parent);
    v->setObjectName(name);
    v->setReadOnly(true);
    v->setLineWrapMode(QPlainTextEdit::NoWrap);
    v->setMaximumBlockCount(LogDock::kMaxLines);
    v->setUndoRedoEnabled(false);
    v->setFont(QFont(QStringLiteral("monospace"), 9));
    return v;
}

void scrollToEnd(QPlainTextEdit* v) {
    v->verticalScrollBar()->setValue(v->verticalScrollBar()->maximum());
}

} // namespace

LogDock::LogDock(TrafficLog& traffic, EventLog& events, LinkAdapter* link, QWidget* parent)
    : QDockWidget(pick("Log", "日志"), parent), traffic_(traffic), events_(events), link_(link) {
    setObjectName("logDock");
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    tabs_ = new QTabWidget(body);
    tabs_->setObjectName("logTabs");
    layout->addWidget(tabs_);

    eventView_ = makeView(tabs_, "eventLogView");
    tabs_->addTab(eventView_, pick("Events", "事件"));

    auto* trafficPage = new QWidget(tabs_);
    auto* tl = new QVBoxLayout(trafficPage);
    tl->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(pick("Letters:", "命令字母:"), trafficPage));
    letters_ = new QLineEdit(trafficPage);
    letters_->setObjectName("trafficLetters");
    letters_->setPlaceholderText(pick("all", "全部"));
    letters_->setToolTip(pick("Only frames of these command letters, e.g. AGV (case matters)",
                              "只显示这些命令字母的帧, 例如 AGV (区分大小写)"));
    letters_->setMaximumWidth(120);
    bar->addWidget(letters_);
    reports_ = new QCheckBox(pick("Status and levels reports", "状态和电平报告"), trafficPage);
    reports_->setObjectName("trafficShowReports");
    bar->addWidget(reports_);
    pause_ = new QCheckBox(pick("Pause", "暂停"), trafficPage);
    pause_->setObjectName("trafficPause");
    bar->addWidget(pause_);
    bar->addStretch(1);
    count_ = new QLabel(trafficPage);
    count_->setObjectName("trafficCount");
    bar->addWidget(count_);
    clear_ = new QPushButton(pick("Clear", "清除"), trafficPage);
    clear_->setObjectName("trafficClear");
    bar->addWidget(clear_);
    tl->addLayout(bar);
    trafficView_ = makeView(trafficPage, "trafficLogView");
    tl->addWidget(trafficView_);
    tabs_->addTab(trafficPage, pick("Traffic", "通信"));

    copy_ = new QPushButton(pick("Copy", "复制"), body);
    copy_->setObjectName("logCopy");
    copy_->setToolTip(pick("Copy the selection, or the whole tab when nothing is selected",
                           "复制所选内容, 未选择时复制整页"));
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(copy_);
    layout->addLayout(bottom);
    setWidget(body);

    connect(letters_, &QLineEdit::textChanged, this, &LogDock::filterChanged);
    connect(reports_, &QCheckBox::toggled, this, &LogDock::filterChanged);
    connect(pause_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on && pending_) rebuildTraffic();
    });
    connect(copy_, &QPushButton::clicked, this, &LogDock::copy);
    connect(clear_, &QPushButton::clicked, this, [this] {
        lines_.clear();
        trafficView_->clear();
        pending_ = false;
        shown_ = 0;
        showCount();
    });
    connect(this, &QDockWidget::visibilityChanged, this, &LogDock::onVisible);
    showCount();
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &LogDock::refresh);
}

LogDock::~LogDock() {
    timer_.stop();
    // A file still being written keeps the link hooked (the last Q 0 at close belongs in it).
    traffic_.setTapped(false);
    updateHook();
}

LogDock* LogDock::install(MainWindow& window, LinkAdapter& link, TrafficLog& traffic, EventLog& events) {
    auto* dock = new LogDock(traffic, events, &link, &window);
    window.addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->hide();
    QAction* toggle = dock->toggleViewAction();
    toggle->setObjectName("actionLog");
    toggle->setText(pick("&Log", "日志(&L)"));
    window.viewMenu()->addAction(toggle);
    dock->updateHook();
    // The status label's texts are the link's story: ONLINE, OFFLINE, RECONNECTING, ...
    auto last = std::make_shared<QString>();
    auto retrying = std::make_shared<bool>(false);
    QObject::connect(&link, &LinkAdapter::statusLabel, dock,
                     [last, retrying, &link, &events](bool online, const QString& text) {
                         if (text == *last) return;
                         *last = text;
                         events.add(pick("Link: %1", "连接: %1").arg(text).toStdString());
                         // Whoever reads the log afterwards wants to see that the link came back
                         // on its own, not only a second ONLINE.
                         if (link.link().connection().reconnecting())
                             *retrying = true;
                         else if (std::exchange(*retrying, false) && online)
                             events.add(pick("Link: reconnected", "连接: 已重新连接").toStdString());
                     });
    // Shown in the status label, not in a box; a dead line repeats the same error for every
    // frame, so only a new text is logged.
    auto lastFailure = std::make_shared<QString>();
    QObject::connect(&link, &LinkAdapter::sendFailed, dock,
                     [lastFailure, &events](const QString& error, quint64) {
                         if (error == *lastFailure) return;
                         *lastFailure = error;
                         events.add(pick("Not sent: %1", "未发送: %1").arg(error).toStdString());
                     });
    return dock;
}

bool LogDock::paused() const {
    return pause_->isChecked();
}

void LogDock::updateHook() {
    if (!link_) return;
    link_->link().setTrafficLog(traffic_.active() ? &traffic_ : nullptr);
}

void LogDock::onVisible(bool visible) {
    traffic_.setTapped(visible);
    updateHook();
    if (visible) {
        refresh();
        timer_.start();
    } else {
        timer_.stop();
    }
}

void LogDock::filterChanged() {
    filter_.letters = letters_->text().trimmed().remove(' ').toStdString();
    filter_.showReports = reports_->isChecked();
    rebuildTraffic();
}

void LogDock::rebuildTraffic() {
    pending_ = false;
    QString text;
    shown_ = 0;
    for (const TrafficLine& l : lines_) {
        if (!filter_.shows(l)) continue;
        if (!text.isEmpty()) text += '\n';
        text += QString::fromUtf8(l.line);
        ++shown_;
    }
    trafficView_->setPlainText(text);
    scrollToEnd(trafficView_);
    showCount();
}

void LogDock::showCount() {
    QString text = pick("%1 of %2 lines shown", "显示 %1 / %2 行").arg(shown_).arg(lines_.size());
    if (missed_ > 0) text += pick(", %1 missed", ", 遗漏 %1").arg(missed_);
    count_->setText(text);
}

void LogDock::appendEvents() {
    std::vector<EventEntry> entries;
    eventSeq_ = events_.since(eventSeq_, entries);
    if (entries.empty()) return;
    LocalStamp stamp;
    QString text;
    for (const EventEntry& e : entries) {
        std::string head;
        stamp.appendTime(head, e.time);
        if (!text.isEmpty()) text += '\n';
        // Seconds are enough for what a person did; the file has the date.
        text += QString::fromLatin1(head.data(), 8) + QStringLiteral("  ") + QString::fromStdString(e.text);
    }
    eventView_->appendPlainText(text);
}

void LogDock::refresh() {
    appendEvents();
    std::vector<TrafficLine> fresh;
    missed_ += traffic_.takeTapped(fresh);
    if (fresh.empty()) return;
    QString text;
    for (TrafficLine& l : fresh) {
        l.text.clear(); // the formatted line is all the panel needs
        l.text.shrink_to_fit();
        if (filter_.shows(l)) {
            ++shown_;
            if (!paused()) {
                if (!text.isEmpty()) text += '\n';
                text += QString::fromUtf8(l.line);
            }
        }
        lines_.push_back(std::move(l));
    }
    while (lines_.size() > static_cast<std::size_t>(kMaxLines)) {
        if (filter_.shows(lines_.front())) --shown_;
        lines_.pop_front();
    }
    showCount();
    if (paused()) {
        pending_ = true;
        return;
    }
    if (!text.isEmpty()) trafficView_->appendPlainText(text);
}

void LogDock::copy() {
    auto* view = tabs_->currentIndex() == 0 ? eventView_ : trafficView_;
    const QString selected = view->textCursor().selectedText();
    // The cursor's selection separates lines with U+2029.
    QString text = selected.isEmpty() ? view->toPlainText() : selected;
    text.replace(QChar::ParagraphSeparator, '\n');
    QGuiApplication::clipboard()->setText(text);
}

} // namespace quorvel::ui
