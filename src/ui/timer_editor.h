// The modal dialog in which the user edits one timer: the current Timers record, in insert
// state for a new timer (the channel picker filled it) or in edit state. Its bound controls
// write straight into the record; the dialog itself stores the repetition mask and the last
// saved end, and reports through the caller's flag whether the record is to be posted.
#pragma once

#include <QDialog>
#include <array>
#include <vector>

#include "ui/timer_rules.h"
#include "ui/timer_session.h"

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;
class QWidget;

namespace tivolo::widgets {
class BoundComboBox;
class BoundDateTimeEdit;
class BoundEdit;
}  // namespace tivolo::widgets

namespace tivolo::ui {

class TimerEditor : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kOpeningDelayMs = 50;

  TimerEditor(QWidget* owner, TimerSession& session);
  ~TimerEditor() override;

  // The caller's result flag (true on entry; cleared only by Save) and whether the timer is new.
  void SetDialogCancelled(bool* dialog_cancelled) { dialog_cancelled_ = dialog_cancelled; }
  void SetIsNew(bool is_new) { is_new_ = is_new; }

  // The controls, for the owner's tests.
  widgets::BoundEdit* EditChannel() const { return edit_channel_; }
  widgets::BoundEdit* EditName() const { return edit_name_; }
  widgets::BoundDateTimeEdit* PickerBegin() const { return picker_begin_; }
  widgets::BoundDateTimeEdit* PickerEnd() const { return picker_end_; }
  QCheckBox* CheckBoxRepeated() const { return check_repeated_; }
  QCheckBox* DayBox(int i) const { return day_boxes_[static_cast<size_t>(i)]; }
  QWidget* Panel1() const { return panel1_; }
  widgets::BoundComboBox* ComboAfterevent() const { return combo_afterevent_; }
  QPushButton* QuickButton(int minutes) const;
  QPushButton* ButtonSave() const { return button_save_; }
  QPushButton* ButtonCancel() const { return button_cancel_; }
  // Whether a picker shows the red of an invalid value.
  static bool IsRed(const QWidget* picker);

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
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FormCreate();
  QWidget* BuildPickers();
  QWidget* BuildQuickButtons();
  QWidget* BuildRepetition();
  QWidget* BuildButtons();
  bool PickerKeyDown(widgets::BoundDateTimeEdit* picker, const QKeyEvent& key);
  void StepFocusedPicker(int minutes);
  DayBoxes CheckedDays() const;
  void SetDays(const DayBoxes& days);
  DateTime RecordBegin() const;

  TimerSession& session_;
  bool* dialog_cancelled_ = nullptr;
  bool is_new_ = false;

  widgets::BoundEdit* edit_channel_ = nullptr;
  widgets::BoundEdit* edit_name_ = nullptr;
  widgets::BoundDateTimeEdit* picker_begin_ = nullptr;
  widgets::BoundDateTimeEdit* picker_end_ = nullptr;
  std::vector<QPushButton*> quick_buttons_;
  QCheckBox* check_repeated_ = nullptr;
  QWidget* panel1_ = nullptr;
  std::array<QCheckBox*, kDayBoxes> day_boxes_{};
  widgets::BoundComboBox* combo_afterevent_ = nullptr;
  QPushButton* button_save_ = nullptr;
  QPushButton* button_cancel_ = nullptr;
  QPushButton* button_plus_ = nullptr;
  QPushButton* button_min_ = nullptr;
  QAction* opslaan_ = nullptr;
  QAction* cancel_ = nullptr;
  QAction* plus_ = nullptr;
  QAction* min_ = nullptr;
  QTimer* timer1_ = nullptr;
};

}  // namespace tivolo::ui
