// The editor of one series rule: every attribute the box's rule plugin knows, each showing its
// default, and beside them the preview of the rule against the guide in memory (what it
// would record, or which check left a programme out), updated a moment after each edit.
// Save takes the rule only when it can be used (RuleProblem); Cancel keeps nothing.
#pragma once

#include <vector>

#include "boxdata/autotimer_file.h"
#include "boxdata/box_reader.h"
#include "ui/fixed_dialog.h"
#include "ui/timer_session.h"

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QTimeEdit;
class QTimer;
class QTreeWidget;

namespace tivolo::ui {

class RuleEditor : public FixedDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 980;
  static constexpr int kHeight = 600;
  // Edits settle this long before the preview runs again.
  static constexpr int kPreviewDelayMs = 200;
  static constexpr size_t kMaxPreviewRows = 500;

  RuleEditor(QWidget* owner, TimerSession& session, const boxdata::ChannelNames& channels,
             const boxdata::AutoTimerRule& rule);
  ~RuleEditor() override;

  // The rule as the controls say now.
  boxdata::AutoTimerRule Rule() const;
  // The rule as saved; the one given until Save.
  const boxdata::AutoTimerRule& Saved() const { return saved_; }

  void UpdatePreview();
  void SaveExecute();

 private:
  void SetupMatch(QFormLayout* form);
  void SetupTimes(QFormLayout* form);
  void SetupRecording(QFormLayout* form);
  void SetupDuplicates(QFormLayout* form);
  void SetupFilters(QFormLayout* form);
  QWidget* SetupPreview();
  void SetupButtons(QBoxLayout* layout);
  void Show(const boxdata::AutoTimerRule& rule);
  void TakeAfterEvent(boxdata::AutoTimerRule& rule) const;
  // Every control's change starts the preview's timer.
  void WatchEdits();

  TimerSession& session_;
  const boxdata::ChannelNames& channels_;
  boxdata::AutoTimerRule saved_;
  // The attributes the editor does not change, carried from the rule given.
  boxdata::AutoTimerRule carried_;

  QLineEdit* match_ = nullptr;
  QLineEdit* name_ = nullptr;
  QCheckBox* enabled_ = nullptr;
  QComboBox* search_type_ = nullptr;
  QCheckBox* case_sensitive_ = nullptr;
  QCheckBox* use_span_ = nullptr;
  QTimeEdit* from_ = nullptr;
  QTimeEdit* to_ = nullptr;
  QCheckBox* use_frame_ = nullptr;
  QDateTimeEdit* after_ = nullptr;
  QDateTimeEdit* before_ = nullptr;
  QSpinBox* max_duration_ = nullptr;  // 0: none
  QPlainTextEdit* services_ = nullptr;
  QLabel* channel_names_ = nullptr;  // the names of the references in services_
  QPlainTextEdit* bouquets_ = nullptr;
  QLineEdit* location_ = nullptr;
  QCheckBox* use_offset_ = nullptr;
  QSpinBox* offset_before_ = nullptr;
  QSpinBox* offset_after_ = nullptr;
  QComboBox* justplay_ = nullptr;
  QCheckBox* set_endtime_ = nullptr;
  QComboBox* after_event_ = nullptr;
  QLineEdit* tags_ = nullptr;
  QComboBox* avoid_duplicates_ = nullptr;
  QComboBox* search_duplicates_ = nullptr;
  QSpinBox* counter_ = nullptr;
  QSpinBox* left_ = nullptr;
  QLineEdit* counter_format_ = nullptr;
  QLineEdit* encoding_ = nullptr;
  QCheckBox* conflict_detection_ = nullptr;
  QCheckBox* always_zap_ = nullptr;
  QPlainTextEdit* includes_ = nullptr;
  QPlainTextEdit* excludes_ = nullptr;
  QLabel* problem_ = nullptr;
  QLabel* preview_count_ = nullptr;
  QTreeWidget* preview_ = nullptr;
  QTimer* preview_timer_ = nullptr;
};

}  // namespace tivolo::ui
