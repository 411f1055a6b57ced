// Save && Exit: the timer list taken from the table here, on the user-interface thread; the
// save itself runs off it with a progress dialog; the program ends a second after a save
// that restarted the receiver, and stays open with the action enabled after any other end.
#include "app/main_window.h"
#include "app/save_progress.h"

namespace tivolo::app {

void MainWindow::SaveExitExecute() {
  SaveRun run;
  run.input.box = Box();
  run.input.local_dir = options_.local_dir;
  run.input.read_state = read_report_.timer_list;
  run.input.fetch_ok = fetch_result_.ok;
  run.input.timer_list_fetched = fetch_result_.Fetched("timers.xml");
  transfer::TakeTimerList(run.input, tables_.timers, Clock());
  run.log = [this](const std::string& line) { Log(line); };
  run.messages = messages_;
  // No second save while this one runs: the progress dialog is modal, and so is this.
  save_exit_->setEnabled(false);
  const transfer::SaveResult result = RunSaveWithProgress(this, std::move(run));
  if (result.EndProgram()) {
    timer_terminate_.start();
    return;
  }
  RefreshActions();
  if (result.outcome == transfer::SaveOutcome::kDeclined)
    messages_->Information(result.message);
  else
    messages_->Error(result.message);
}

}  // namespace tivolo::app
