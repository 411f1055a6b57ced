// What the main window does with the box's web interface: asks it what it is after each
// fetch, without holding up the window, and says in the log and the status bar which way
// Save && Exit goes; and Save && Exit through it, which applies the changes to the running
// receiver and ends the program as a restart does, or stays open with the box's list and the
// changes it did not take.
#include <QLabel>
#include <QStatusBar>
#include <algorithm>

#include "app/background_run.h"
#include "app/list_status.h"
#include "app/main_window.h"
#include "app/save_progress.h"
#include "boxdata/timer_writer.h"
#include "transfer/live_plan.h"
#include "ui/timer_grid.h"

namespace tivolo::app {
namespace {

constexpr const char* kSaveRouteName = "SaveRoute";

// The status bar's part that names the way Save && Exit goes: made on first use, found by its
// name after, beside the parts others put in the status bar.
void ShowSaveRouteIn(QStatusBar* bar, const std::string& text) {
  auto* label = bar->findChild<QLabel*>(kSaveRouteName);
  if (!label) {
    label = new QLabel(bar);
    label->setObjectName(kSaveRouteName);
    bar->addWidget(label);
  }
  label->setText(QString::fromStdString(text));
}

}  // namespace

web::HttpEndpoint MainWindow::WebEndpoint() const {
  // The box asks for the FTP login when it asks for one at all.
  return {settings_.ip, settings_.web_port, settings_.web_https, settings_.username,
          settings_.password};
}

void MainWindow::DetectWebInterface() {
  const int asked = ++web_route_.asked;
  web_route_.endpoint = WebEndpoint();
  web_route_.detection.reset();
  const web::HttpEndpoint endpoint = web_route_.endpoint;
  StartInBackground<transfer::WebDetection>(
      this, [endpoint] { return transfer::DetectWeb(endpoint); },
      [this, asked](const transfer::WebDetection& answer) {
        if (asked != web_route_.asked) return;  // asked again since
        web_route_.detection = answer;
        if (answer.timers) web_route_.box_timers = *answer.timers;
        // The picker's guide may come from the interface when the file is old.
        UseWebInterfaceForGuide(answer.found ? std::optional<web::HttpEndpoint>(web_route_.endpoint)
                                             : std::nullopt);
        if (!answer.problem.empty()) Log("Web interface: " + answer.problem);
        ShowSaveRoute();
        ShowBoxStates();
      });
}

void MainWindow::ShowBoxStates() {
  const transfer::WebDetection* answer = web_route_.AnswerFor(WebEndpoint());
  // Without this run's reading of the box, the grid shows an older copy: the box's states of
  // now would stand beside timers it may not hold.
  if (!answer || !answer->found || !tables_.timers.Active() || !list_at_start_.fetch_ok) {
    grid_->HideBoxStates();
    return;
  }
  const platform::ClockSettings clock = Clock();
  // TimerStates goes by the list's text, whose timers are the table's rows in order.
  const std::vector<std::string> states = transfer::TimerStates(
      web_route_.box_timers, boxdata::BuildTimerList(tables_.timers, clock), clock);
  ui::BoxStates by_record;
  const int rows = std::min(static_cast<int>(states.size()), tables_.timers.RecordCount());
  for (int row = 0; row < rows; ++row)
    by_record.emplace(tables_.timers.ViewRecordAt(row).RecordId(),
                      states[static_cast<size_t>(row)]);
  grid_->ShowBoxStates(std::move(by_record));
}

void MainWindow::ShowSaveRoute() {
  const transfer::WebDetection* answer = web_route_.AnswerFor(WebEndpoint());
  if (!answer) return;
  // A box that was not read is not a box without a web interface.
  const std::string text =
      list_at_start_.fetch_ok
          ? transfer::SaveRouteText(settings_.ip, *answer, settings_.apply_live)
          : "Box " + settings_.ip + ": the save route is not known until the box has been read";
  Log(text);
  ShowSaveRouteIn(statusBar(), text);
}

bool MainWindow::SaveLive(bool end_program) {
  const transfer::SaveRoute route = transfer::ChooseSaveRoute(
      settings_.apply_live, web_route_.AnswerFor(WebEndpoint()), !list_at_start_.uploaded.empty());
  if (route == transfer::SaveRoute::kUpload) return false;
  LiveRun run;
  run.save.input = transfer::PrepareSave(tables_, names_.channels, Box(), options_.local_dir,
                                         list_at_start_, Clock());
  run.save.input.tuners = {tuner_context_.tuners, tuner_context_.transponders};
  run.save.log = [this](const std::string& line) { Log(line); };
  run.save.messages = messages_;
  run.endpoint = WebEndpoint();
  const bool detect_first = route == transfer::SaveRoute::kAskFirst;
  run.detect_first = detect_first;
  // No second save while this one runs: the progress dialog is modal, and so is this.
  save_exit_->setEnabled(false);
  const transfer::LiveSaveResult result = RunLiveSaveWithProgress(this, std::move(run));
  if (result.box_timers) web_route_.box_timers = *result.box_timers;
  if (detect_first && (result.interface || result.outcome == transfer::LiveOutcome::kNoInterface)) {
    transfer::WebDetection answer;
    answer.found = result.interface.has_value();
    if (answer.found) answer.info = *result.interface;
    ++web_route_.asked;  // a detection still under way is older than this answer
    web_route_.endpoint = WebEndpoint();
    web_route_.detection = answer;
    ShowSaveRoute();
  }
  if (result.UseUpload()) return false;
  if (result.EndProgram() && end_program) {
    statusBar()->showMessage(QString::fromStdString(SavedLine(session_.change_count)));
    EndAfterSave();
    return true;
  }
  ShowLiveResult(result);
  RefreshActions();
  if (result.EndProgram())
    messages_->Information("Every change is applied on the box.");
  else if (result.MessageIsError())
    messages_->Error(result.message);
  else
    messages_->Information(result.message);
  return true;
}

void MainWindow::ShowLiveResult(const transfer::LiveSaveResult& result) {
  // Without the box's file the grid stays as it was; the next save merges with the box anew.
  // A new list shows its states as it is shown; the grid kept takes the box's new ones.
  if (!result.box_list || result.shown.text.empty()) {
    ShowBoxStates();
    return;
  }
  list_at_start_.text = *result.box_list;
  list_at_start_.state = result.box_list_state;
  list_at_start_.fetch_ok = true;
  list_at_start_.fetched = true;
  list_at_start_.uploaded.clear();
  ShowTimerList(result.shown.text);
  list_at_start_.shown_origins = result.shown.origins;
  session_.change_count = static_cast<int>(result.shown.undone);
}

}  // namespace tivolo::app
