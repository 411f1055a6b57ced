#include "ui/fixed_dialog.h"

#include <QKeyEvent>

namespace tivolo::ui {

FixedDialog::FixedDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setModal(true);
}

void FixedDialog::keyPressEvent(QKeyEvent* event) {
  // QDialog would take Enter for the default button and Escape for Cancel.
  if (IsEnterKey(event->key()) || event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool IsEnterKey(int key) {
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace tivolo::ui
