// The box's tuners and the conflicts of the list: the tuners read in the background after the
// guide (whose fetch brings the settings file with their set-up), the check run again a moment
// after every change of the list, the marks in the grid, the status bar's part, the question
// before a save, and the week picture of which tuner records what.
#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/background_run.h"
#include "app/guide_status.h"
#include "app/main_window.h"
#include "plan/tuner_texts.h"
#include "platform/now.h"
#include "ui/timer_conflicts.h"
#include "ui/timer_list_model.h"
#include "ui/week_view.h"

namespace tivolo::app {
namespace {

constexpr std::chrono::milliseconds kTunerReadBound{10000};
constexpr int kConflictCheckDelayMs = 150;

QString TunerRowName(const plan::Tuner& tuner) {
  return QString("%1 (%2)")
      .arg(QChar(tuner.letter))
      .arg(QString::fromStdString(tuner.type.empty() ? "empty" : tuner.type));
}

}  // namespace

void MainWindow::BuildTunerParts() {
  tuner_status_ = new QLabel(statusBar());
  tuner_status_->setObjectName("TunerStatus");
  statusBar()->addWidget(tuner_status_);
  // The read's steps and Cancel, as the guide fetch shows its own; only while it runs.
  tuner_progress_ =
      new GuideStatus(statusBar(), {"TunerRead", "",
                                    "Stop asking the box for its tuners; the last set-up known "
                                    "is used"});
  tuner_progress_->hide();
  statusBar()->addWidget(tuner_progress_);
  connect(tuner_progress_, &GuideStatus::CancelRequested, this,
          [this] { Guarded([this] { CancelTunerRead(); }); });
  ShowTunerStatus();

  week_ = new QAction("Week", this);
  week_->setObjectName("Week");
  week_->setShortcut(Qt::Key_F7);
  week_->setStatusTip("Which tuner records which timer, over the days ahead");
  connect(week_, &QAction::triggered, this, [this] { Guarded([this] { ShowWeek(); }); });
  only_conflicts_ = new QAction("Only conflicts", this);
  only_conflicts_->setObjectName("OnlyConflicts");
  only_conflicts_->setCheckable(true);
  only_conflicts_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
  only_conflicts_->setStatusTip("Show only the timers that get no tuner");
  connect(only_conflicts_, &QAction::toggled, this,
          [this](bool only) { Guarded([this, only] { grid_->ShowOnlyConflicts(only); }); });
  addActions({week_, only_conflicts_});
  if (QMenu* menu = menuBar()->findChild<QMenu*>("EditMenu")) menu->addAction(only_conflicts_);
  if (QMenu* menu = menuBar()->findChild<QMenu*>("MainMenu")) {
    QAction* close = menu->actions().isEmpty() ? nullptr : menu->actions().last();
    menu->insertAction(close, week_);
  }

  // The editor asks about the timer being edited against the rest of the list as last checked:
  // the timer it replaces is left out, and nothing else changes while the editor is open.
  list_actions_->conflict_check = [this](const plan::PlanTimer& candidate, int32_t record) {
    return conflicts_ ? conflicts_->EditorLine(candidate, record) : std::string();
  };

  conflict_timer_.setSingleShot(true);
  conflict_timer_.setInterval(kConflictCheckDelayMs);
  connect(&conflict_timer_, &QTimer::timeout, this,
          [this] { Guarded([this] { CheckConflicts(); }); });
  QAbstractItemModel* model = grid_->Model();
  for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(model, signal, this, [this] { conflict_timer_.start(); });
  connect(model, &QAbstractItemModel::modelReset, this, [this] { conflict_timer_.start(); });
  connect(model, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
            // The marks' own refresh changes the display of Type only: no new check for it.
            if (roles.isEmpty() || roles.contains(Qt::EditRole)) conflict_timer_.start();
          });
}

void MainWindow::BoxNamesRead() {
  tuner_context_.transponders = boxdata::ReadTransponders(names_.services);
  conflict_timer_.start();
}

void MainWindow::StartTunerRead() {
  if (tuner_read_running_) return;
  tuner_read_running_ = true;
  const int run = ++tuner_run_;
  tuner_status_->setText("Reading the box's tuners...");
  const transfer::BoxAddress box = Box();
  const std::filesystem::path local_dir = options_.local_dir;
  const bool ask_box = fetch_result_.ok;
  const transfer::WebDetection* answer = web_route_.AnswerFor(WebEndpoint());
  const std::string about = answer && answer->found ? answer->info.about : std::string();
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  tuner_cancel_ = cancel;
  if (ask_box && about.empty()) {
    tuner_progress_->ShowResult("");
    tuner_progress_->show();
  }
  // The steps come on the read's thread: posted through the application object, which
  // outlives the window, and dropped once this read is no longer the window's latest.
  auto watch = std::make_shared<transfer::TelnetWatch>();
  watch->cancelled = cancel.get();
  watch->step = [window = QPointer<MainWindow>(this), run](transfer::TelnetWatch::Step step) {
    static const char* const kSteps[] = {"connecting", "logging in", "reading the tuners"};
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [window, run, step] {
          if (!window || window->tuner_run_ != run) return;
          window->tuner_progress_->ShowStep(kSteps[step - 1], step, transfer::TelnetWatch::kSteps);
          window->tuner_progress_->ShowReceived(step, transfer::TelnetWatch::kSteps);
        },
        Qt::QueuedConnection);
  };
  StartInBackground<transfer::TunerRead>(
      this,
      [box, local_dir, ask_box, about, cancel, watch] {
        if (!ask_box) {
          transfer::TunerRead read = transfer::ReadTunerCopy(local_dir);
          if (read.problem.empty()) read.problem = "the box was not reached";
          return read;
        }
        return transfer::ReadBoxTuners(box, about, local_dir, kTunerReadBound, {}, watch.get());
      },
      [this, run](const transfer::TunerRead& read) {
        if (run == tuner_run_) Guarded([this, &read] { TunersRead(read); });
      });
}

void MainWindow::CancelTunerRead() {
  if (!tuner_read_running_) return;
  if (tuner_cancel_) tuner_cancel_->store(true);
  ++tuner_run_;
  transfer::TunerRead read = transfer::ReadTunerCopy(options_.local_dir);
  if (read.problem.empty()) read.problem = "the read of the box's tuners was cancelled";
  TunersRead(read);
}

void MainWindow::TunersRead(const transfer::TunerRead& read) {
  tuner_read_running_ = false;
  tuner_cancel_.reset();
  tuner_progress_->hide();
  if (!read.problem.empty()) Log("Tuners: " + read.problem);
  if (read.set.Known()) Log("Tuners from " + read.source + ": " + plan::DescribeTuners(read.set));
  tuner_read_ = read;
  UseTuners();
}

void MainWindow::UseTuners() {
  if (tuner_read_running_) return;
  if (tuner_read_.set.Known())
    tuner_context_.tuners = tuner_read_.set;
  else if (!settings_.manual_tuners.empty())
    tuner_context_.tuners = plan::ManualTunerSet(settings_.manual_tuners);
  else
    tuner_context_.tuners = {};
  CheckConflicts();
}

transfer::TunerRead MainWindow::LastTunersRead() const {
  if (tuner_read_.set.Known()) return tuner_read_;
  return transfer::ReadTunerCopy(options_.local_dir);
}

void MainWindow::CheckConflicts() {
  conflict_timer_.stop();
  conflicts_.reset();
  if (tuner_context_.tuners.Known() && tables_.timers.Active()) {
    conflicts_ = std::make_unique<ui::TimerConflicts>(
        tables_.timers, tuner_context_, Clock(), platform::DateTimeToEpoch(platform::NowUtc()));
  }
  grid_->ShowConflicts(conflicts_ ? conflicts_->Marks() : ui::ConflictMarks{});
  ShowTunerStatus();
  if (week_view_) week_view_->SetPlan(WeekPlan());
}

void MainWindow::ShowTunerStatus() {
  if (!tuner_status_ || tuner_read_running_) return;
  std::string text = plan::TunerStatus(tuner_context_.tuners);
  if (conflicts_ && !conflicts_->Report().conflicts.empty()) {
    const size_t n = conflicts_->Report().conflicts.size();
    text += " - " + std::to_string(n) + (n == 1 ? " conflict" : " conflicts");
  }
  tuner_status_->setText(QString::fromStdString(text));
}

ui::WeekPlan MainWindow::WeekPlan() const {
  ui::WeekPlan plan;
  if (!conflicts_) return plan;
  const plan::ConflictModel& model = conflicts_->Model();
  for (const plan::Tuner& tuner : model.Tuners().tuners)
    plan.tuner_names << TunerRowName(tuner);
  const int off_row = static_cast<int>(plan.tuner_names.size());
  plan.tuner_names << "switched off";
  const auto bar_of = [&](uint32_t timer, int64_t begin, int64_t end, int row) {
    const plan::PlanTimer& t = model.Timers()[timer];
    ui::WeekBar bar;
    bar.record_id = conflicts_->RecordOf(timer);
    bar.tuner = row;
    bar.begin = begin;
    bar.end = end;
    bar.text = QString::fromStdString(t.name);
    bar.disabled = t.disabled;
    bar.zap = t.justplay;
    const auto mark = conflicts_->Marks().find(bar.record_id);
    bar.tooltip = QString::fromStdString(
        t.channel + " \"" + t.name + "\"" +
        (mark != conflicts_->Marks().end() ? "\n" + mark->second : std::string()));
    return bar;
  };
  for (const plan::Assignment& a : conflicts_->Report().allocation) {
    const int row = a.tuner < 0 ? ui::kNoTuner : a.tuner;
    plan.bars.push_back(bar_of(a.timer, a.begin, a.end, row));
  }
  for (uint32_t i = 0; i < model.Timers().size(); ++i) {
    const plan::PlanTimer& t = model.Timers()[i];
    if (t.disabled) plan.bars.push_back(bar_of(i, t.begin, t.end, off_row));
  }
  return plan;
}

void MainWindow::ShowWeek() {
  if (!week_window_) {
    week_window_ = new QWidget(this, Qt::Window);
    week_window_->setObjectName("WeekWindow");
    week_window_->setWindowTitle("Week - which tuner records what");
    const qint64 now = platform::DateTimeToEpoch(platform::NowUtc());
    const platform::ClockSettings clock = Clock();
    week_view_ = new ui::WeekView(
        [clock](int64_t t) {
          return platform::DateTimeToEpoch(
              platform::UtcToLocal(platform::EpochToDateTime(static_cast<int32_t>(t)), clock));
        },
        week_window_);
    week_view_->SetNow(now);
    auto* export_button = new QPushButton("E&xport...", week_window_);
    export_button->setObjectName("WeekExport");
    auto* hint =
        new QLabel("Keys: arrows scroll and select, + and - zoom, Enter edits.", week_window_);
    auto* bar = new QHBoxLayout;
    bar->addWidget(hint, 1);
    bar->addWidget(export_button);
    auto* layout = new QVBoxLayout(week_window_);
    layout->addWidget(week_view_, 1);
    layout->addLayout(bar);
    week_window_->resize(1000, 360);
    connect(export_button, &QPushButton::clicked, this, [this] {
      Guarded([this] {
        const QString file =
            QFileDialog::getSaveFileName(week_window_, "Export the week picture", "week.png",
                                         "PNG picture (*.png);;PDF (*.pdf)");
        if (!file.isEmpty()) week_view_->Export(file);
      });
    });
    connect(week_view_, &ui::WeekView::BarSelected, this,
            [this](int32_t record) { Guarded([this, record] { SelectRecord(record); }); });
    connect(week_view_, &ui::WeekView::BarActivated, this, [this](int32_t record) {
      Guarded([this, record] {
        SelectRecord(record);
        EditExecute();
      });
    });
    connect(grid_->Model(), &widgets::TableModel::CurrentRowChanged, week_view_, [this] {
      if (week_window_->isVisible() && tables_.timers.Active() && !tables_.timers.Eof())
        week_view_->SelectRecord(tables_.timers.ActiveBuffer().RecordId());
    });
  }
  week_view_->SetPlan(WeekPlan());
  week_window_->show();
  week_window_->raise();
  week_window_->activateWindow();
}

void MainWindow::SelectRecord(int32_t record) {
  const int row = tables_.timers.ViewRowOfRecord(record);
  if (row >= 0) tables_.timers.ViewMoveToRow(row);
}

}  // namespace tivolo::app
