// The shape every dialog of the program shares: a fixed-size, modal window with a title, the
// system menu and a close box. Escape closes it as its Cancel does (nothing is kept); Enter
// does nothing unless the dialog says otherwise, so that a stray key never saves anything.
#pragma once

#include <QDialog>

namespace tivolo::ui {

class FixedDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FixedDialog(QWidget* owner);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Escape: the dialog's Cancel. A plain reject() unless the dialog's Cancel does more.
  virtual void CancelByKey();
};

// Enter, on the main keyboard or the keypad.
bool IsEnterKey(int key);

}  // namespace tivolo::ui
