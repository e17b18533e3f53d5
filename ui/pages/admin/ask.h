// An OK / Cancel question that does not block the event loop; found in tests by its object name.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace quorvel::ui {

void askOkCancel(QWidget* parent, const QString& text, const QString& caption, const QString& objectName,
                 std::function<void()> onOk, QMessageBox::Icon icon = QMessageBox::Question);

} // namespace quorvel::ui
