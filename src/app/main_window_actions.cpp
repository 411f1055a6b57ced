// The timer list's actions. Append, Edit and Delete come with the timer editor and channel
// picker; Save && Exit with the save to the box.
#include "app/main_window.h"

namespace tivolo::app {

void MainWindow::AppendExecute() {}

void MainWindow::EditExecute() {}

void MainWindow::DeleteExecute() {}

void MainWindow::SaveExitExecute() {}

}  // namespace tivolo::app
