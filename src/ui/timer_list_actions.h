// The actions of the timer list window: append, edit and delete a timer, switch it off and on,
// the flow that runs whenever a Timers record is inserted or put into edit state (the channel
// picker for a new timer, then the editor, then post or cancel), and the rule that enables the
// actions. Each change counts, and becomes a step to undo when the actions have an undo.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

#include "plan/plan_timer.h"
#include "ui/timer_session.h"

class QAction;
class QWidget;

namespace tivolo::ui {

class ChannelPicker;
class TimerEditor;
class TimerListView;
class TimerUndo;

class TimerListActions : public QObject {
  Q_OBJECT

 public:
  // owner: the window the dialogs belong to. Sets Timers' after-insert and after-edit events;
  // the tables must not raise them once the actions are gone.
  TimerListActions(QWidget* owner, TimerSession& session);
  ~TimerListActions() override;

  // The window's actions that RefreshActions enables; any may be null.
  void SetActions(QAction* edit, QAction* del, QAction* save_exit);
  // The on/off switch, captioned "Disable" or "Enable" after the current timer.
  void SetSwitchAction(QAction* switch_action);
  // The view the current timer must be shown in for Edit, Delete and the switch; any timer
  // of the table will do without one.
  void SetView(TimerListView* view);
  void SetUndo(TimerUndo* undo);

  void AppendExecute();
  // Append with the channel and times of a programme of the guide: the same flow without the
  // channel picker (the editor opens on the filled timer; Save posts it and counts).
  void AppendForEvent(const std::string& zender, const std::string& service,
                      const boxdata::TimerFromEvent& timer);
  void EditExecute();
  void DeleteExecute();
  // Switches the current timer's Disabled between 0 and 1; counts as a change.
  void SwitchExecute();
  void TimersAfterInsert(store::MemTable& timers);
  // Keeps the current timer on a row shown, then enables the actions.
  void RefreshActions();
  // The switch's caption and state after the current timer; nothing else is looked at.
  void RefreshSwitch();

  // Run on each dialog after it is made and before it is shown (tests look at them there).
  std::function<void(ChannelPicker&)> on_picker;
  std::function<void(TimerEditor&)> on_editor;
  // Given to every editor (TimerEditor::ConflictCheck): the verdict of the tuner check for the
  // timer being edited against the rest of the list. May be empty.
  std::function<std::string(const plan::PlanTimer& candidate, int32_t record)> conflict_check;
  // Run at the end of every RefreshActions, when a change, delete or step is complete: what
  // shows counts may take them now.
  std::function<void()> after_refresh;

 private:
  bool Busy() const;        // the table is inserting or editing already
  bool HasCurrent() const;  // a stored timer is current, on a row shown

  QWidget* owner_;
  TimerSession& session_;
  bool dialog_cancelled_ = true;
  // What fills the new record in place of the channel picker.
  struct EventTimer {
    std::string zender;
    std::string service;
    boxdata::TimerFromEvent timer;
  };
  std::optional<EventTimer> event_timer_;
  QPointer<QAction> edit_;
  QPointer<QAction> delete_;
  QPointer<QAction> save_exit_;
  QPointer<QAction> switch_;
  QPointer<TimerListView> view_;
  QPointer<TimerUndo> undo_;
};

}  // namespace tivolo::ui
