#include "pages/admin/ask.h"

#include <QAbstractButton>
#include <QPointer>

#include "widgets/ui_text.h"

namespace quorvel::ui {

void askOkCancel(QWidget* parent, const QString& text, const QString& caption, const QString& objectName,
                 std::function<void()> onOk, QMessageBox::Icon icon) {
    auto* box = new QMessageBox(icon, caption.isEmpty() ? QStringLiteral("QUORVEL 3.2") : caption, text,
                                QMessageBox::Ok | QMessageBox::Cancel, parent);
    box->setObjectName(objectName);
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->setText(pick("OK", "确定"));
    if (QAbstractButton* cancel = box->button(QMessageBox::Cancel)) cancel->setText(pick("Cancel", "取消"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [box, onOk = std::move(onOk)](int) {
        if (box->clickedButton() == box->button(QMessageBox::Ok) && onOk) onOk();
    });
    box->open();
}

} // namespace quorvel::ui
