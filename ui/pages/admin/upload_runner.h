// Runs the bulk upload from the UI thread without ever waiting: a short timer hands the next step
// to the paced sender whenever its line is free, and a non-modal progress box offers Cancel.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

#include "link/device_state.h"

class QProgressDialog;
class QWidget;

namespace quorvel {
class BulkUpload;
class EditSink;
} // namespace quorvel

namespace quorvel::ui {

class UploadRunner : public QObject {
    Q_OBJECT
public:
    using LineIdle = std::function<bool()>;

    // Frames go to sink; lineIdle says when the sender has nothing queued. The progress box is a
    // child of dialogParent.
    UploadRunner(DeviceState& state, EditSink& sink, LineIdle lineIdle, QWidget* dialogParent);
    ~UploadRunner() override;

    // False when one is already running or the link is offline (nothing to send then).
    bool start();
    void cancel();
    bool running() const { return upload_ != nullptr; }
    int sent() const;
    QProgressDialog* progressBox() const { return box_; }
    // One timer tick's work, for tests that walk a virtual clock.
    void step();

signals:
    void progress(int sent, int total);
    // completed: every frame went; otherwise cancelled or the link went offline.
    void finished(bool completed);

private:
    DeviceState& state_;
    EditSink& sink_;
    LineIdle lineIdle_;
    QWidget* dialogParent_;
    std::unique_ptr<BulkUpload> upload_;
    QProgressDialog* box_ = nullptr;
    QTimer timer_;
};

} // namespace quorvel::ui
