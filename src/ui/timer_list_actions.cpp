#include "ui/timer_list_actions.h"

#include <QAction>
#include <QWidget>
#include <memory>

#include "ui/channel_picker.h"
#include "ui/timer_editor.h"
#include "ui/timer_list_view.h"
#include "ui/timer_records.h"
#include "ui/undo_commands.h"

namespace tivolo::ui {

using store::DatasetState;

TimerListActions::TimerListActions(QWidget* owner, TimerSession& session)
    : QObject(owner), owner_(owner), session_(session) {
  store::MemTable& timers = session_.tables->timers;
  timers.AfterInsert = [this](store::MemTable& t) { TimersAfterInsert(t); };
  timers.AfterEdit = timers.AfterInsert;
}

// The window releases its tables before its children: nothing of the tables is touched here.
TimerListActions::~TimerListActions() = default;

void TimerListActions::SetActions(QAction* edit, QAction* del, QAction* save_exit) {
  edit_ = edit;
  delete_ = del;
  save_exit_ = save_exit;
}

void TimerListActions::SetSwitchAction(QAction* switch_action) {
  switch_ = switch_action;
  RefreshSwitch();
}

void TimerListActions::SetView(TimerListView* view) {
  view_ = view;
}

void TimerListActions::SetUndo(TimerUndo* undo) {
  undo_ = undo;
}

bool TimerListActions::Busy() const {
  const DatasetState state = session_.tables->ds_timers.State();
  return state == DatasetState::kInsert || state == DatasetState::kEdit;
}

bool TimerListActions::HasCurrent() const {
  const store::MemTable& timers = session_.tables->timers;
  return timers.Active() && timers.RecordCount() > 0 && (!view_ || view_->CurrentShown());
}

void TimerListActions::AppendExecute() {
  if (Busy()) return;
  session_.tables->timers.Append();
}

void TimerListActions::AppendForEvent(const std::string& zender, const std::string& service,
                                      const boxdata::TimerFromEvent& timer) {
  if (Busy()) return;
  event_timer_ = EventTimer{zender, service, timer};
  struct Clear {
    std::optional<EventTimer>& preset;
    ~Clear() { preset.reset(); }
  } clear{event_timer_};
  session_.tables->timers.Append();
}

void TimerListActions::EditExecute() {
  // Edit on an empty table would start an insert instead.
  if (Busy() || !HasCurrent()) return;
  session_.tables->timers.Edit();
}

void TimerListActions::DeleteExecute() {
  if (Busy() || !HasCurrent()) return;
  store::MemTable& timers = session_.tables->timers;
  const int32_t id = CurrentTimerId(timers);
  StoredTimer before;
  if (undo_) before = ReadTimer(timers, id);
  timers.Delete();
  ++session_.change_count;
  if (undo_) undo_->Deleted(id, std::move(before));
  RefreshActions();
}

void TimerListActions::SwitchExecute() {
  if (Busy() || !HasCurrent()) return;
  store::MemTable& timers = session_.tables->timers;
  const int32_t id = CurrentTimerId(timers);
  StoredTimer before;
  if (undo_) before = ReadTimer(timers, id);
  SwitchTimer(timers, id, !TimerDisabled(timers, id));
  ++session_.change_count;
  if (undo_) undo_->Switched(id, std::move(before));
  RefreshActions();
}

void TimerListActions::TimersAfterInsert(store::MemTable& timers) {
  dialog_cancelled_ = true;
  const bool is_new = timers.State() == DatasetState::kInsert;
  // Nothing of the record has changed yet: these are its values before the edit.
  const int32_t edited = is_new ? -1 : CurrentTimerId(timers);
  StoredTimer before;
  if (undo_ && !is_new) before = ReadTimer(timers, edited);
  if (is_new && event_timer_) {
    FillTimerForEvent(timers, event_timer_->zender, event_timer_->service, event_timer_->timer);
  } else if (is_new) {
    // Each dialog is made for one use and released after it: a kept dialog's bound controls
    // would go on following every later change of the table.
    auto picker = std::make_unique<ChannelPicker>(owner_, session_);
    picker->SetDialogCancelled(&dialog_cancelled_);
    if (on_picker) on_picker(*picker);
    picker->exec();
    if (dialog_cancelled_) {
      timers.Cancel();
      return;
    }
  }
  dialog_cancelled_ = true;
  auto editor = std::make_unique<TimerEditor>(owner_, session_);
  editor->SetDialogCancelled(&dialog_cancelled_);
  editor->SetIsNew(is_new);
  if (conflict_check) editor->SetConflictCheck(conflict_check);
  if (on_editor) on_editor(*editor);
  editor->exec();
  if (dialog_cancelled_) {
    timers.Cancel();
  } else {
    timers.Post();
    ++session_.change_count;
    if (undo_ && is_new) undo_->Appended(CurrentTimerId(timers));
    if (undo_ && !is_new) undo_->Edited(edited, std::move(before));
  }
  RefreshActions();
}

void TimerListActions::RefreshActions() {
  if (view_) view_->Settle();
  const bool any = HasCurrent();
  if (edit_) edit_->setEnabled(any);
  if (delete_) delete_->setEnabled(any);
  if (save_exit_)
    save_exit_->setEnabled(session_.change_count != 0 || session_.save_owed ||
                           session_.rules_changed);
  RefreshSwitch();
  if (after_refresh) after_refresh();
}

void TimerListActions::RefreshSwitch() {
  if (!switch_) return;
  store::MemTable& timers = session_.tables->timers;
  const int32_t id = HasCurrent() && !Busy() ? CurrentTimerId(timers) : -1;
  switch_->setEnabled(id >= 0);
  switch_->setText(id >= 0 && TimerDisabled(timers, id) ? "Enable" : "Disable");
}

}  // namespace tivolo::ui
