// The timer list around the grid and its buttons: the filter line (Ctrl+L), the on/off switch
// (Alt+N, also in the grid's context menu), the menu "Edit" with Undo (Ctrl+Z) and Redo
// (Ctrl+Y), the status bar's word on where the list came from, the question before unsaved
// changes are closed away, and the window's size and the list's layout kept between runs.
#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <filesystem>

#include "app/list_status.h"
#include "app/main_window.h"
#include "platform/now.h"
#include "store/date_format.h"
#include "ui/timer_list_view.h"
#include "ui/undo_commands.h"

namespace tivolo::app {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLayoutName = "window.ini";
const QString kSizeKey = QStringLiteral("MainWindow/Size");

}  // namespace

void MainWindow::BuildListParts() {
  undo_ = new ui::TimerUndo(session_, this);
  undo_->after_step = [this] { RefreshActions(); };
  list_actions_->SetUndo(undo_);
  list_actions_->SetView(list_view_);

  switch_ = new QAction("Disable", this);
  switch_->setObjectName("Switch");
  switch_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_N));
  switch_->setStatusTip("Switch the timer off, or on again");
  connect(switch_, &QAction::triggered, this, [this] { Guarded([this] { SwitchExecute(); }); });
  list_actions_->SetSwitchAction(switch_);
  auto* filter = new QAction("Filter timers", this);
  filter->setObjectName("Filter");
  filter->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  connect(filter, &QAction::triggered, list_view_, &ui::TimerListView::FocusFilter);
  addActions({switch_, filter, undo_->UndoAction(), undo_->RedoAction()});

  QMenu* menu = menuBar()->addMenu("Edit");
  menu->setObjectName("EditMenu");
  menu->addActions({undo_->UndoAction(), undo_->RedoAction()});
  menu->addSeparator();
  menu->addActions({switch_, filter});

  grid_->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* separator = new QAction(grid_);
  separator->setSeparator(true);
  grid_->addActions({append_, edit_, delete_, separator, switch_});

  list_status_ = new ListStatus(statusBar());
  statusBar()->addWidget(list_status_, 1);
  connect(list_view_, &ui::TimerListView::CountsChanged, this, &MainWindow::UpdateListParts);
  connect(list_view_, &ui::TimerListView::FilterChanged, this,
          [this] { Guarded([this] { RefreshActions(); }); });
  connect(grid_->Model(), &widgets::TableModel::CurrentRowChanged, this,
          [this] { Guarded([this] { list_actions_->RefreshSwitch(); }); });
  BuildTunerParts();
}

void MainWindow::SwitchExecute() {
  list_actions_->SwitchExecute();
}

void MainWindow::ListReplaced(bool from_box) {
  undo_->Clear();
  list_box_ = Box().Label();
  const QFileInfo copy(
      QString::fromStdString((fs::path(options_.local_dir) / "timers.xml").string()));
  if (from_box) {
    const platform::DateTime now = platform::UtcToLocal(platform::NowUtc(), Clock());
    list_origin_ = "read " + store::FormatDateTime("hh:nn", now);
  } else if (read_report_.timer_list != boxdata::TimerListState::kMissing && copy.exists()) {
    list_origin_ = "earlier copy of " +
                   copy.lastModified().toString("dd-MM-yy hh:mm").toStdString() +
                   (fetch_result_.ok ? "" : "; the box was not reached");
  } else {
    list_origin_ = "no timer list";
  }
  UpdateListParts();
  ShowBoxStates();
}

void MainWindow::UpdateListParts() {
  timers_frame_->setTitle(list_view_->Caption());
  list_status_->Show(list_box_, tables_.timers.RecordCount(), list_origin_);
}

void MainWindow::ClockChanged(const platform::ClockSettings& before) {
  const platform::ClockSettings now = Clock();
  if (before.utc_auto != now.utc_auto || before.utc_offset != now.utc_offset) undo_->Clear();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!ending_ && session_.change_count > 0) {
    switch (messages_->SaveQuestion("Save the changes to the box before closing?")) {
      case widgets::SaveAnswer::kCancel:
        event->ignore();
        return;
      case widgets::SaveAnswer::kSave:
        // The save ends the program a second after the box took the list; any other end
        // leaves it open with what the save said.
        event->ignore();
        Guarded([this] { RunSave(true); });
        return;
      case widgets::SaveAnswer::kDiscard:
        break;
    }
  }
  SaveLayout();
  event->accept();
}

std::string MainWindow::LayoutFile() const {
  if (options_.config_file.empty()) return {};
  return (fs::path(options_.config_file).parent_path() / kLayoutName).string();
}

void MainWindow::RestoreLayout() {
  const std::string file = LayoutFile();
  if (file.empty()) return;
  QSettings settings(QString::fromStdString(file), QSettings::IniFormat);
  const QSize size = settings.value(kSizeKey).toSize();
  if (size.isValid()) resize(size.expandedTo(minimumSize()));
  list_view_->RestoreLayout(settings);
}

void MainWindow::SaveLayout() const {
  const std::string file = LayoutFile();
  if (file.empty()) return;
  QSettings settings(QString::fromStdString(file), QSettings::IniFormat);
  settings.setValue(kSizeKey, isMaximized() || isFullScreen() ? normalGeometry().size() : size());
  list_view_->SaveLayout(settings);
  settings.sync();
}

}  // namespace tivolo::app
