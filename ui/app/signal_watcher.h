// SIGINT and SIGTERM start the same orderly close as the window's close button. The handler only
// writes a byte into a pipe; the UI thread reads it through a socket notifier.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace quorvel::ui {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

    bool ok() const { return notifier_ != nullptr; }

signals:
    void terminationRequested(int signalNumber);

private:
    void readPipe();
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace quorvel::ui
