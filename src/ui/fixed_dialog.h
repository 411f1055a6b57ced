// The shape every dialog of the program shares: a fixed-size, modal window with a title, the
// system menu and a close box, closed only by its own buttons or that close box. Neither
// Enter nor Escape does anything: a stray key never saves or throws away what was typed.
#pragma once

#include <QDialog>

namespace tivolo::ui {

class FixedDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FixedDialog(QWidget* owner);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// Enter, on the main keyboard or the keypad.
bool IsEnterKey(int key);

}  // namespace tivolo::ui
