// Undo and redo of the timer list's changes (append, edit, delete, the on/off switch) for the
// whole run until the list is read again: each step is done again or taken back through the
// Timers table and the session's change counter, so that the save writes what the grid shows
// and undoing every change leaves nothing to save. The steps name their timer by a number of
// their own, which follows the timer when an undone delete puts it back as a new record.
#pragma once

#include <QObject>
#include <QUndoStack>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "ui/timer_records.h"
#include "ui/timer_session.h"

class QAction;

namespace tivolo::ui {

class TimerUndo : public QObject {
  Q_OBJECT

 public:
  TimerUndo(TimerSession& session, QObject* parent = nullptr);
  ~TimerUndo() override;

  // Each change the list actions made and counted becomes the next step to undo: told right
  // after it, with the record's values before it where it had any.
  void Appended(int32_t id);
  void Edited(int32_t id, StoredTimer before);
  void Switched(int32_t id, StoredTimer before);
  void Deleted(int32_t id, StoredTimer before);
  // Forgets every step: the tables were read again or their times converted.
  void Clear();

  // The window's menu items and keys: "Undo delete of Wielrennen", Ctrl+Z; "Redo ...",
  // Ctrl+Y. They do nothing while a timer is being inserted or edited.
  QAction* UndoAction() const { return undo_action_; }
  QAction* RedoAction() const { return redo_action_; }
  void Undo();
  void Redo();

  // Runs after each step undone or redone (the window brings its actions up to date).
  std::function<void()> after_step;

  // ---- For the steps ----
  store::MemTable& Timers() const { return session_.tables->timers; }
  // The step's number for a record, given when it is first asked for.
  int KeyOf(int32_t id);
  // The record a number stands for now; TimerMissingError when it has none.
  int32_t RecordOf(int key) const;
  void Placed(int key, int32_t id);  // the timer is (again) that record
  void Removed(int key);             // its record is gone, and its identifier free again
  void Count(int change) { session_.change_count += change; }
  // The timer's name for the step's text (its channel when it has none).
  std::string Label(const StoredTimer& timer) const;

 private:
  bool Busy() const;
  void UpdateActions();

  TimerSession& session_;
  QUndoStack stack_;
  QAction* undo_action_;
  QAction* redo_action_;
  std::map<int, int32_t> record_of_;
  std::map<int32_t, int> key_of_;
  int next_key_ = 0;
};

}  // namespace tivolo::ui
