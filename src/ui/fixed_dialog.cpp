#include "ui/fixed_dialog.h"

#include <QKeyEvent>

namespace tivolo::ui {

FixedDialog::FixedDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setModal(true);
}

void FixedDialog::keyPressEvent(QKeyEvent* event) {
  // QDialog would take Enter for its default button.
  if (IsEnterKey(event->key())) {
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    CancelByKey();
    return;
  }
  QDialog::keyPressEvent(event);
}

void FixedDialog::CancelByKey() {
  reject();
}

bool IsEnterKey(int key) {
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace tivolo::ui
