// The settings dialog "Configuration": the box's address, FTP user name and password, and the
// UTC offset with its "Automatic:" switch. Created anew for each use; Save checks the address
// and writes config.ini, Cancel leaves everything as it was. Neither Enter nor Escape does
// anything: only Alt+S and Alt+C.
#pragma once

#include <QDialog>
#include <QTimer>
#include <string>

#include "app/config.h"
#include "widgets/message_service.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tivolo::app {

inline constexpr int kOffsetMin = -12;
inline constexpr int kOffsetMax = 14;

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // settings are the main window's loaded settings: the fill shows them, Save sets them.
  SettingsDialog(Settings& settings, std::string config_file, widgets::MessageService& messages,
                 QWidget* owner);

  // Set before showing: the dialog of a first start keeps its initial texts, and leaving it
  // without saving ends the program.
  bool FirstRun() const { return first_run_; }
  void SetFirstRun(bool first_run) { first_run_ = first_run; }
  // After it closed: true when a first-run dialog was left without saving.
  bool EndRequested() const { return end_requested_; }

  void SaveExecute();
  void CancelExecute();

  QLineEdit* EditIp() const { return edit_ip_; }
  QLineEdit* EditUser() const { return edit_user_; }
  QLineEdit* EditPass() const { return edit_pass_; }
  QSpinBox* SpinOffset() const { return spin_offset_; }
  QCheckBox* CheckBox1() const { return check_box1_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void done(int result) override;  // every way of closing ends here: the close rule

 private:
  void Timer1Timer();
  void CheckBox1Click();
  void Build();

  Settings& settings_;
  std::string config_file_;
  widgets::MessageService& messages_;
  bool first_run_ = false;
  bool end_requested_ = false;
  QTimer timer1_;
  QLineEdit* edit_ip_ = nullptr;
  QLineEdit* edit_user_ = nullptr;
  QLineEdit* edit_pass_ = nullptr;
  QSpinBox* spin_offset_ = nullptr;
  QCheckBox* check_box1_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace tivolo::app
