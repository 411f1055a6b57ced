// The modal dialog in which the user edits one timer: the current Timers record, in insert
// state for a new timer (the channel picker filled it) or in edit state. Its bound controls
// write straight into the record; the dialog itself stores the repetition mask and the last
// saved end, and reports through the caller's flag whether the record is to be posted.
// Tests and the window reach its controls by their object names.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plan/plan_timer.h"
#include "ui/fixed_dialog.h"
#include "ui/timer_rules.h"
#include "ui/timer_session.h"

class QAction;
class QCheckBox;
class QGridLayout;
class QKeyEvent;
class QLabel;
class QPushButton;
class QTimer;
class QVBoxLayout;
class QWidget;

namespace tivolo::widgets {
class BoundComboBox;
class BoundDateTimeEdit;
class BoundEdit;
}  // namespace tivolo::widgets

namespace tivolo::ui {

class TimerEditor : public FixedDialog {
  Q_OBJECT

 public:
  static constexpr int kOpeningDelayMs = 50;

  // Asks the tuner check about the timer as it is being edited (`record` the record it
  // replaces, -1 for a new timer): the line to show, empty when it finds a tuner or the
  // tuners are not known.
  using ConflictCheck =
      std::function<std::string(const plan::PlanTimer& candidate, int32_t record)>;

  TimerEditor(QWidget* owner, TimerSession& session);
  ~TimerEditor() override;

  // The caller's result flag (true on entry; cleared only by Save) and whether the timer is new.
  void SetDialogCancelled(bool* dialog_cancelled) { dialog_cancelled_ = dialog_cancelled; }
  void SetIsNew(bool is_new);
  // Without one (the default) the conflict line stays hidden.
  void SetConflictCheck(ConflictCheck check);

  // What the last change of a picker left: Save refuses while it holds a fault, and the
  // pickers show it in red.
  const TimerValidity& Validity() const { return validity_; }

  // Handlers, as the controls and actions reach them.
  void Timer1Timer();
  void Button15Click(int minutes);
  void PickerChange();
  void PlusExecute() { StepFocusedPicker(kFineStepMinutes); }
  void MinExecute() { StepFocusedPicker(-kFineStepMinutes); }
  void CheckBoxRepeatedExit();
  void OpslaanExecute();
  void CancelExecute();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Enter saves, as the Save button does (a button with the focus is clicked instead).
  void keyPressEvent(QKeyEvent* event) override;
  void CancelByKey() override {
    session_.Guard([this] { CancelExecute(); });
  }

 private:
  void SetupChannelAndName(QGridLayout* grid, QWidget* body);
  QWidget* SetupPickers();
  QLabel* SetupConflictLine(QWidget* body);
  QWidget* SetupQuickButtons();
  QWidget* SetupRepetition();
  void SetupAfterevent(QGridLayout* grid, QWidget* body);
  QWidget* SetupButtons();
  void SetupTabOrder();
  // The line that warns that a series rule made the timer.
  void SetupRuleWarning(QVBoxLayout* outer);
  void SetupOpeningTimer();

  bool PickerKeyDown(widgets::BoundDateTimeEdit* picker, const QKeyEvent& key);
  void StepPicker(widgets::BoundDateTimeEdit* picker, int minutes);
  void StepFocusedPicker(int minutes);
  void KeepWholeMinutes();
  void ShowValidity();
  // The tuner check's line under the pickers, after every change of the times or the days.
  void ShowConflict();
  TimerInstants Instants() const;
  DayBoxes CheckedDays() const;
  void SetDays(const DayBoxes& days);
  DateTime RecordBegin() const;

  TimerSession& session_;
  bool* dialog_cancelled_ = nullptr;
  bool is_new_ = false;
  TimerValidity validity_;
  // The record's begin and end as the dialog opened on them.
  DateTime opened_begin_ = 0;
  DateTime opened_end_ = 0;

  widgets::BoundEdit* channel_edit_ = nullptr;
  widgets::BoundEdit* name_edit_ = nullptr;
  widgets::BoundDateTimeEdit* begin_picker_ = nullptr;
  widgets::BoundDateTimeEdit* end_picker_ = nullptr;
  QCheckBox* repeated_box_ = nullptr;
  QWidget* day_panel_ = nullptr;
  std::array<QCheckBox*, kDayBoxes> day_boxes_{};
  widgets::BoundComboBox* afterevent_combo_ = nullptr;
  QLabel* reason_line_ = nullptr;    // why Save refuses, under the pickers
  QLabel* conflict_line_ = nullptr;  // where the box runs out of tuners, under that; a warning
  ConflictCheck conflict_check_;
  QPushButton* save_button_ = nullptr;
  QPushButton* cancel_button_ = nullptr;
  QAction* save_action_ = nullptr;
  QAction* cancel_action_ = nullptr;
  QTimer* opening_timer_ = nullptr;
};

}  // namespace tivolo::ui
