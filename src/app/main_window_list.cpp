// The timer list around the grid and its buttons: the filter line (Ctrl+L), the on/off switch
// (Alt+N, also in the grid's context menu), the menu "Edit" with Undo (Ctrl+Z) and Redo
// (Ctrl+Y), the status bar's word on where the list came from, the question before unsaved
// changes are closed away, and the window's size and the list's layout kept between runs.
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QGroupBox>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <filesystem>

#include "app/list_status.h"
#include "app/main_window.h"
#include "platform/now.h"
#include "store/date_format.h"
#include "ui/timer_list_view.h"
#include "ui/undo_commands.h"
#include "widgets/elided_label.h"

namespace tivolo::app {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLayoutName = "window.ini";
const QString kSizeKey = QStringLiteral("MainWindow/Size");

}  // namespace

void MainWindow::BuildListParts() {
  undo_ = new ui::TimerUndo(session_, this);
  // A step back or forth brings a deleted timer back as a new record: the box's state of it
  // is taken again.
  undo_->after_step = [this] {
    RefreshActions();
    ShowBoxStates();
  };
  list_actions_->after_refresh = [this] { ChangesShown(); };
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

  // Alt+I: Alt+E is the Edit button's.
  QMenu* menu = menuBar()->addMenu("Ed&it");
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
  // The way Save && Exit goes, found by its name by what writes it; cut rather than pushing
  // the status bar past the window's edge.
  auto* save_route = new widgets::ElidedLabel(statusBar());
  save_route->setObjectName("SaveRoute");
  statusBar()->addWidget(save_route, 1);
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
  reading_ = false;
  grid_->HoldWidths(false);
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
  if (reading_) {
    list_status_->ShowReading();
    return;
  }
  // The grid's count: the table's own may still hold a record being taken out.
  list_status_->Show(list_box_, grid_->Model()->rowCount(), list_origin_);
}

void MainWindow::ChangesShown() {
  UpdateListParts();
  setWindowModified(session_.change_count > 0 || session_.rules_changed);
}

void MainWindow::BeginReading() {
  reading_ = true;
  grid_->HoldWidths(true);
  UpdateListParts();
}

void MainWindow::EndReading() {
  if (!reading_) return;
  reading_ = false;
  grid_->HoldWidths(false);
  UpdateListParts();
}

void MainWindow::ClockChanged(const platform::ClockSettings& before) {
  const platform::ClockSettings now = Clock();
  if (before.utc_auto != now.utc_auto || before.utc_offset != now.utc_offset) undo_->Clear();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!ending_ && (session_.change_count > 0 || session_.rules_changed)) {
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
  size_restored_ = size.isValid();
  if (size.isValid()) resize(size.expandedTo(minimumSize()));
  list_view_->RestoreLayout(settings);
}

void MainWindow::FitFirstStart() {
  if (size_restored_) return;
  if (QLayout* own = layout()) own->activate();
  // The box's column shows once the web interface has answered: room for it as well.
  constexpr int kBoxColumnChars = 10;
  const int chrome = width() - grid_->viewport()->width() - 2 * grid_->frameWidth() -
                     grid_->verticalScrollBar()->sizeHint().width();
  int wanted =
      grid_->WidthForAllColumns() + std::max(chrome, 0) + grid_->ColumnPixels(kBoxColumnChars);
  QRect screen_area(0, 0, wanted, height());
  if (QScreen* screen = this->screen() ? this->screen() : QApplication::primaryScreen())
    screen_area = screen->availableGeometry();
  // The frame the window manager adds is not in width(): leave it room.
  const int frame = frameGeometry().width() - width();
  wanted = std::min(wanted, screen_area.width() - std::max(frame, 0));
  resize(std::max(wanted, minimumWidth()), height());
  move(screen_area.center() - rect().center());
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
