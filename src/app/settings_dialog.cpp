#include "app/settings_dialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/error.h"

namespace tivolo::app {
namespace {
constexpr int kFillDelayMs = 10;
constexpr int kButtonWidth = 90;
}  // namespace

SettingsDialog::SettingsDialog(Settings& settings, std::string config_file,
                               widgets::MessageService& messages, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      settings_(settings),
      config_file_(std::move(config_file)),
      messages_(messages) {
  setObjectName("SettingsDialog");
  setWindowTitle("Configuration");
  Build();
  timer1_.setSingleShot(true);
  timer1_.setInterval(kFillDelayMs);
  connect(&timer1_, &QTimer::timeout, this, &SettingsDialog::Timer1Timer);
  timer1_.start();
}

void SettingsDialog::Build() {
  auto* box = new QGroupBox("Dreambox: ", this);
  edit_ip_ = new QLineEdit("192.168.1.1", box);
  edit_user_ = new QLineEdit("root", box);
  edit_pass_ = new QLineEdit(box);  // shown in clear, as the settings file keeps it
  auto* box_form = new QFormLayout(box);
  box_form->addRow("Dreambox IP", edit_ip_);
  box_form->addRow("Username:", edit_user_);
  box_form->addRow("Password:", edit_pass_);

  auto* utc = new QGroupBox("UTC time offset: ", this);
  spin_offset_ = new QSpinBox(utc);
  spin_offset_->setRange(kOffsetMin, kOffsetMax);
  spin_offset_->setSingleStep(1);
  spin_offset_->setValue(0);
  spin_offset_->setEnabled(false);
  check_box1_ = new QCheckBox("Automatic:", utc);
  check_box1_->setLayoutDirection(Qt::RightToLeft);  // the caption left of the box
  check_box1_->setChecked(true);
  auto* utc_form = new QFormLayout(utc);
  utc_form->addRow("Time offset:", spin_offset_);
  utc_form->addRow(check_box1_);
  connect(check_box1_, &QCheckBox::toggled, this, &SettingsDialog::CheckBox1Click);

  save_ = new QPushButton("&Save", this);
  cancel_ = new QPushButton("&Cancel", this);
  for (QPushButton* b : {save_, cancel_}) {
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setFixedWidth(kButtonWidth);
  }
  connect(save_, &QPushButton::clicked, this, &SettingsDialog::SaveExecute);
  connect(cancel_, &QPushButton::clicked, this, &SettingsDialog::CancelExecute);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(save_);
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(box);
  layout->addWidget(utc);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  setTabOrder(edit_ip_, edit_user_);
  setTabOrder(edit_user_, edit_pass_);
  setTabOrder(edit_pass_, spin_offset_);
  setTabOrder(spin_offset_, check_box1_);
  setTabOrder(check_box1_, save_);
  setTabOrder(save_, cancel_);
  edit_ip_->setFocus();
}

void SettingsDialog::Timer1Timer() {
  timer1_.stop();
  if (first_run_) return;
  const SettingsEntries entries = EntriesFrom(settings_);
  edit_ip_->setText(QString::fromStdString(entries.ip));
  edit_user_->setText(QString::fromStdString(entries.username));
  edit_pass_->setText(QString::fromStdString(entries.password));
  spin_offset_->setValue(static_cast<int>(entries.offset));
  check_box1_->setChecked(entries.automatic);
  CheckBox1Click();
}

void SettingsDialog::CheckBox1Click() {
  spin_offset_->setEnabled(!check_box1_->isChecked());
}

void SettingsDialog::SaveExecute() {
  SettingsEntries entries;
  entries.ip = edit_ip_->text().toStdString();
  entries.username = edit_user_->text().toStdString();
  entries.password = edit_pass_->text().toStdString();
  entries.offset = spin_offset_->value();
  entries.automatic = check_box1_->isChecked();
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

void SettingsDialog::keyPressEvent(QKeyEvent* event) {
  // QDialog would take Enter for a default button and Escape for Cancel; here neither is bound.
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void SettingsDialog::done(int result) {
  if (first_run_) end_requested_ = true;
  QDialog::done(result);
}

}  // namespace tivolo::app
