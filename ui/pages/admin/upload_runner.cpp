#include "pages/admin/upload_runner.h"

#include <QProgressDialog>

#include "admin/bulk_upload.h"
#include "widgets/ui_text.h"

namespace quorvel::ui {

UploadRunner::UploadRunner(DeviceState& state, EditSink& sink, LineIdle lineIdle, QWidget* dialogParent)
    : QObject(dialogParent), state_(state), sink_(sink), lineIdle_(std::move(lineIdle)),
      dialogParent_(dialogParent) {
    // The shortest pause is 10 ms; polling at a fifth of it keeps the line busy.
    timer_.setInterval(2);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &UploadRunner::step);
}

UploadRunner::~UploadRunner() = default;

bool UploadRunner::start() {
    if (upload_ || !state_.link.linkOnline) return false;
    upload_ = std::make_unique<BulkUpload>(state_);
    if (!box_) {
        box_ = new QProgressDialog(dialogParent_);
        box_->setObjectName("uploadProgress");
        box_->setWindowModality(Qt::NonModal);
        box_->setAutoClose(false);
        box_->setAutoReset(false);
        box_->setMinimumDuration(0);
        connect(box_, &QProgressDialog::canceled, this, &UploadRunner::cancel);
    }
    box_->setWindowTitle(QStringLiteral("QUORVEL"));
    box_->setLabelText(pick("Sending the settings to the device...", "正在向设备发送设置..."));
    box_->setCancelButtonText(pick("Cancel", "取消"));
    box_->setRange(0, upload_->total());
    box_->setValue(0);
    box_->show();
    step();
    timer_.start();
    return true;
}

void UploadRunner::cancel() {
    if (upload_) upload_->cancel();
}

int UploadRunner::sent() const {
    return upload_ ? upload_->sent() : 0;
}

void UploadRunner::step() {
    if (!upload_) return;
    const int before = upload_->sent();
    upload_->pump(sink_, lineIdle_ ? lineIdle_() : true);
    if (upload_->sent() != before) {
        if (box_) box_->setValue(upload_->sent());
        emit progress(upload_->sent(), upload_->total());
    }
    if (!upload_->finished()) return;
    timer_.stop();
    const bool completed = upload_->completed();
    upload_.reset();
    if (box_) box_->hide();
    emit finished(completed);
}

} // namespace quorvel::ui
