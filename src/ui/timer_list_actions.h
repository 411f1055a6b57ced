// The actions of the timer list window: append, edit and delete a timer, the flow that runs
// whenever a Timers record is inserted or put into edit state (the channel picker for a new
// timer, then the editor, then post or cancel), and the rule that enables the actions.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

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
  // Append with the channel and times of a programme of the guide: the same flow without the
  // channel picker (the editor opens on the filled timer; Save posts it and counts).
  void AppendForEvent(const std::string& zender, const std::string& service,
                      const boxdata::TimerFromEvent& timer);
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
};

}  // namespace tivolo::ui
