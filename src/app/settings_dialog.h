// The settings dialog "Configuration": the box's address, FTP user name and password, the
// UTC offset with its "Automatic:" switch, and the box's web interface (port, HTTPS, and
// whether changes are applied live through it), then the box's tuners: the set-up last read from
// it, in words, and a set-up of the user's own for a box that tells none. Created anew for each
// use; Save checks the address and writes config.ini, Cancel (or Escape) leaves everything as it
// was. Enter does nothing: a stray key never saves. Tests reach its controls by their object names.
#pragma once

#include <QTimer>
#include <array>
#include <string>

#include "app/config.h"
#include "ui/fixed_dialog.h"
#include "widgets/message_service.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tivolo::app {

class SettingsDialog : public ui::FixedDialog {
  Q_OBJECT

 public:
  // settings are the main window's loaded settings: the fill shows them, Save sets them.
  SettingsDialog(Settings& settings, std::string config_file, widgets::MessageService& messages,
                 QWidget* owner);

  // Set before showing: the dialog of a first start keeps its initial texts, and leaving it
  // without saving ends the program.
  // A first start also says in a line above the fields what the dialog is for.
  void SetFirstRun(bool first_run);
  // After it closed: true when a first-run dialog was left without saving.
  bool EndRequested() const { return end_requested_; }
  // The tuner set-up last read from the box, in words (plan::DescribeTuners), and where it came
  // from; empty while none was read.
  void SetTunersRead(const std::string& words, const std::string& source);

  void SaveExecute();
  void CancelExecute();

 protected:
  void done(int result) override;  // every way of closing ends here: the close rule

 private:
  void Timer1Timer();
  void CheckBox1Click();
  void Build();
  QGroupBox* BuildWebGroup();
  QGroupBox* BuildTunerGroup();
  // Shows as many systems' rows as the count says.
  void ShowManualRows();
  std::vector<std::string> ManualTuners() const;

  Settings& settings_;
  std::string config_file_;
  widgets::MessageService& messages_;
  bool first_run_ = false;
  bool end_requested_ = false;
  QTimer fill_timer_;  // a child, so that window tests see it pending
  QLineEdit* ip_edit_ = nullptr;
  QLineEdit* user_edit_ = nullptr;
  QLineEdit* password_edit_ = nullptr;
  QCheckBox* show_password_box_ = nullptr;
  QLabel* first_run_note_ = nullptr;
  QSpinBox* offset_spin_ = nullptr;
  QCheckBox* automatic_box_ = nullptr;
  QPushButton* save_button_ = nullptr;
  QPushButton* cancel_button_ = nullptr;
  QSpinBox* web_port_spin_ = nullptr;
  QCheckBox* web_https_box_ = nullptr;
  QCheckBox* apply_live_box_ = nullptr;
  QLabel* tuners_read_ = nullptr;
  QSpinBox* tuner_count_spin_ = nullptr;
  QFormLayout* tuner_form_ = nullptr;
  std::array<QComboBox*, kMaxManualTuners> tuner_combos_{};
};

}  // namespace tivolo::app
