#include "app/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/error.h"

namespace tivolo::app {
namespace {
constexpr int kFillDelayMs = 10;
constexpr int kButtonWidth = 90;
constexpr int kTunerTextWidth = 360;
}  // namespace

SettingsDialog::SettingsDialog(Settings& settings, std::string config_file,
                               widgets::MessageService& messages, QWidget* owner)
    : ui::FixedDialog(owner),
      settings_(settings),
      config_file_(std::move(config_file)),
      messages_(messages),
      fill_timer_(this) {
  setObjectName("SettingsDialog");
  setWindowTitle("Configuration");
  Build();
  fill_timer_.setSingleShot(true);
  fill_timer_.setInterval(kFillDelayMs);
  connect(&fill_timer_, &QTimer::timeout, this, &SettingsDialog::Timer1Timer);
  fill_timer_.start();
}

void SettingsDialog::Build() {
  auto* box = new QGroupBox("Dreambox: ", this);
  ip_edit_ = new QLineEdit("192.168.1.1", box);
  ip_edit_->setObjectName("Edit_Ip");
  user_edit_ = new QLineEdit("root", box);
  user_edit_->setObjectName("Edit_User");
  password_edit_ = new QLineEdit(box);
  password_edit_->setObjectName("Edit_Pass");
  // Hidden from whoever looks over the user's shoulder; "show" reveals it to check it.
  password_edit_->setEchoMode(QLineEdit::Password);
  show_password_box_ = new QCheckBox("show", box);
  show_password_box_->setObjectName("ShowPassword");
  connect(show_password_box_, &QCheckBox::toggled, this, [this](bool shown) {
    password_edit_->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
  });
  auto* password_row = new QHBoxLayout;
  password_row->addWidget(password_edit_, 1);
  password_row->addWidget(show_password_box_);
  auto* box_form = new QFormLayout(box);
  box_form->addRow("Dreambox IP", ip_edit_);
  box_form->addRow("Username:", user_edit_);
  box_form->addRow("Password:", password_row);

  auto* utc = new QGroupBox("UTC time offset: ", this);
  offset_spin_ = new QSpinBox(utc);
  offset_spin_->setObjectName("SpinOffset");
  offset_spin_->setRange(kOffsetMin, kOffsetMax);
  offset_spin_->setSingleStep(1);
  offset_spin_->setValue(0);
  offset_spin_->setEnabled(false);
  automatic_box_ = new QCheckBox("Automatic:", utc);
  automatic_box_->setObjectName("CheckBox1");
  automatic_box_->setLayoutDirection(Qt::RightToLeft);  // the caption left of the box
  automatic_box_->setChecked(true);
  auto* utc_form = new QFormLayout(utc);
  utc_form->addRow("Time offset:", offset_spin_);
  utc_form->addRow(automatic_box_);
  connect(automatic_box_, &QCheckBox::toggled, this, &SettingsDialog::CheckBox1Click);

  save_button_ = new QPushButton("&Save", this);
  save_button_->setObjectName("ButtonSave");
  cancel_button_ = new QPushButton("&Cancel", this);
  cancel_button_->setObjectName("ButtonCancel");
  for (QPushButton* b : {save_button_, cancel_button_}) {
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setFixedWidth(kButtonWidth);
  }
  connect(save_button_, &QPushButton::clicked, this, &SettingsDialog::SaveExecute);
  connect(cancel_button_, &QPushButton::clicked, this, &SettingsDialog::CancelExecute);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(save_button_);
  buttons->addWidget(cancel_button_);

  first_run_note_ = new QLabel(
      "Tivolo edits the recording timers of your receiver. Enter the receiver's address and "
      "its FTP login to begin.",
      this);
  first_run_note_->setObjectName("FirstRunNote");
  first_run_note_->setWordWrap(true);
  first_run_note_->setVisible(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(first_run_note_);
  layout->addWidget(box);
  layout->addWidget(utc);
  layout->addWidget(BuildWebGroup());
  layout->addWidget(BuildTunerGroup());
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  setTabOrder(ip_edit_, user_edit_);
  setTabOrder(user_edit_, password_edit_);
  setTabOrder(password_edit_, show_password_box_);
  setTabOrder(show_password_box_, offset_spin_);
  setTabOrder(offset_spin_, automatic_box_);
  setTabOrder(automatic_box_, web_port_spin_);
  setTabOrder(web_port_spin_, web_https_box_);
  setTabOrder(web_https_box_, apply_live_box_);
  setTabOrder(apply_live_box_, save_button_);
  setTabOrder(save_button_, cancel_button_);
  // The tuners' controls after the buttons, so that Tab reaches the others as it always did.
  setTabOrder(cancel_button_, tuner_count_spin_);
  QWidget* last = tuner_count_spin_;
  for (QComboBox* combo : tuner_combos_) {
    setTabOrder(last, combo);
    last = combo;
  }
  ip_edit_->setFocus();
}

// Below the box's and the clock's groups, before Save and Cancel, which close the dialog at
// its bottom.
QGroupBox* SettingsDialog::BuildWebGroup() {
  auto* web = new QGroupBox("Web interface: ", this);
  web_port_spin_ = new QSpinBox(web);
  web_port_spin_->setObjectName("SpinWebPort");
  web_port_spin_->setRange(1, kLastPort);
  web_port_spin_->setValue(SettingsEntries{}.web_port);
  web_https_box_ = new QCheckBox("HTTPS:", web);
  web_https_box_->setObjectName("CheckWebHttps");
  apply_live_box_ = new QCheckBox("Apply changes live:", web);
  apply_live_box_->setObjectName("CheckApplyLive");
  apply_live_box_->setChecked(SettingsEntries{}.apply_live);
  for (QCheckBox* check : {web_https_box_, apply_live_box_})
    check->setLayoutDirection(Qt::RightToLeft);  // the caption left of the box, as above
  auto* form = new QFormLayout(web);
  form->addRow("Web port:", web_port_spin_);
  form->addRow(web_https_box_);
  form->addRow(apply_live_box_);
  return web;
}

// Below the web interface's group, before Save and Cancel: what was read of the box's tuners,
// and the user's own set-up, which the conflict check uses only while nothing was read.
QGroupBox* SettingsDialog::BuildTunerGroup() {
  auto* group = new QGroupBox("Tuners: ", this);
  tuners_read_ = new QLabel("Not read from the box yet", group);
  tuners_read_->setObjectName("TunersRead");
  tuners_read_->setWordWrap(true);
  tuners_read_->setMaximumWidth(kTunerTextWidth);
  tuner_count_spin_ = new QSpinBox(group);
  tuner_count_spin_->setObjectName("SpinManualTuners");
  tuner_count_spin_->setRange(0, kMaxManualTuners);
  tuner_count_spin_->setSpecialValueText("none");
  tuner_count_spin_->setToolTip(
      "For a box that tells its tuners neither by its web interface nor by telnet: how many "
      "tuners it has. Used only while nothing was read from the box.");
  tuner_form_ = new QFormLayout(group);
  tuner_form_->addRow("As read:", tuners_read_);
  tuner_form_->addRow("Own set-up, tuners:", tuner_count_spin_);
  for (int i = 0; i < kMaxManualTuners; ++i) {
    auto* combo = new QComboBox(group);
    combo->setObjectName(QString("ComboManualTuner%1").arg(i));
    for (const char* system : kManualTunerSystems)
      combo->addItem(system);
    tuner_combos_[static_cast<size_t>(i)] = combo;
    tuner_form_->addRow(QString("Tuner %1:").arg(QChar('A' + i)), combo);
  }
  connect(tuner_count_spin_, &QSpinBox::valueChanged, this, &SettingsDialog::ShowManualRows);
  ShowManualRows();
  return group;
}

void SettingsDialog::ShowManualRows() {
  for (int i = 0; i < kMaxManualTuners; ++i)
    tuner_form_->setRowVisible(tuner_combos_[static_cast<size_t>(i)],
                               i < tuner_count_spin_->value());
}

std::vector<std::string> SettingsDialog::ManualTuners() const {
  std::vector<std::string> types;
  for (int i = 0; i < tuner_count_spin_->value(); ++i)
    types.push_back(tuner_combos_[static_cast<size_t>(i)]->currentText().toStdString());
  return types;
}

void SettingsDialog::SetTunersRead(const std::string& words, const std::string& source) {
  if (words.empty()) return;
  tuners_read_->setText(QString::fromStdString(words));
  tuners_read_->setToolTip(QString::fromStdString("From " + source));
}

void SettingsDialog::SetFirstRun(bool first_run) {
  first_run_ = first_run;
  first_run_note_->setVisible(first_run);
}

void SettingsDialog::Timer1Timer() {
  fill_timer_.stop();
  if (first_run_) return;
  const SettingsEntries entries = EntriesFrom(settings_);
  ip_edit_->setText(QString::fromStdString(entries.ip));
  user_edit_->setText(QString::fromStdString(entries.username));
  password_edit_->setText(QString::fromStdString(entries.password));
  offset_spin_->setValue(static_cast<int>(entries.offset));
  automatic_box_->setChecked(entries.automatic);
  CheckBox1Click();
  web_port_spin_->setValue(entries.web_port);
  web_https_box_->setChecked(entries.web_https);
  apply_live_box_->setChecked(entries.apply_live);
  tuner_count_spin_->setValue(static_cast<int>(entries.manual_tuners.size()));
  for (size_t i = 0; i < entries.manual_tuners.size() && i < tuner_combos_.size(); ++i)
    tuner_combos_[i]->setCurrentText(QString::fromStdString(entries.manual_tuners[i]));
}

void SettingsDialog::CheckBox1Click() {
  offset_spin_->setEnabled(!automatic_box_->isChecked());
}

void SettingsDialog::SaveExecute() {
  SettingsEntries entries;
  entries.ip = ip_edit_->text().toStdString();
  entries.username = user_edit_->text().toStdString();
  entries.password = password_edit_->text().toStdString();
  entries.offset = KeptOffset(offset_spin_->value(), settings_.utc_offset);
  entries.automatic = automatic_box_->isChecked();
  entries.web_port = web_port_spin_->value();
  entries.web_https = web_https_box_->isChecked();
  entries.apply_live = apply_live_box_->isChecked();
  entries.manual_tuners = ManualTuners();
  try {
    if (SaveEntries(entries, settings_, config_file_) == SaveResult::kInvalidAddress) {
      messages_.Information(kInvalidAddressMessage);
      return;
    }
  } catch (const std::exception& e) {
    // The settings are in effect in memory; the dialog stays open, a first run stays one.
    messages_.Error(e.what());
    return;
  }
  first_run_ = false;
  accept();
}

void SettingsDialog::CancelExecute() {
  reject();
}

void SettingsDialog::done(int result) {
  if (first_run_) end_requested_ = true;
  QDialog::done(result);
}

}  // namespace tivolo::app
