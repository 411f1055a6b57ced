// The actions of the timer list window: append, edit and delete a timer, the flow that runs
// whenever a Timers record is inserted or put into edit state (the channel picker for a new
// timer, then the editor, then post or cancel), and the rule that enables the actions.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "ui/timer_session.h"

class QAction;
class QWidget;

namespace tivolo::ui {

class ChannelPicker;
class TimerEditor;

class TimerListActions : public QObject {
  Q_OBJECT

 public:
  // owner: the window the dialogs belong to. Sets Timers' after-insert and after-edit events;
  // the tables must not raise them once the actions are gone.
  TimerListActions(QWidget* owner, TimerSession& session);
  ~TimerListActions() override;

  // The window's actions that RefreshActions enables; any may be null.
  void SetActions(QAction* edit, QAction* del, QAction* save_exit);

  void AppendExecute();
  void EditExecute();
  void DeleteExecute();
  void TimersAfterInsert(store::MemTable& timers);
  void RefreshActions();

  // Run on each dialog after it is made and before it is shown (tests look at them there).
  std::function<void(ChannelPicker&)> on_picker;
  std::function<void(TimerEditor&)> on_editor;

 private:
  bool Busy() const;  // the table is inserting or editing already

  QWidget* owner_;
  TimerSession& session_;
  bool dialog_cancelled_ = true;
  QPointer<QAction> edit_;
  QPointer<QAction> delete_;
  QPointer<QAction> save_exit_;
};

}  // namespace tivolo::ui
