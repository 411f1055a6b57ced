// The timer list's actions. Append, Edit and Delete are the timer list actions with their
// channel picker and timer editor; Save && Exit comes with the save to the box.
#include "app/main_window.h"

namespace tivolo::app {

void MainWindow::AppendExecute() {
  list_actions_->AppendExecute();
}

void MainWindow::EditExecute() {
  list_actions_->EditExecute();
}

void MainWindow::DeleteExecute() {
  list_actions_->DeleteExecute();
}

}  // namespace tivolo::app
