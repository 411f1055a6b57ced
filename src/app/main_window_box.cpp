// What the main window does with the box: fetch and read its files at start and on "Reload
// from box", keep to the box the list was read from, and Save && Exit, which ends the program a
// second after a checked restart and stays open, showing what the box holds, after any other
// end.
#include <QDateTime>
#include <QFileInfo>
#include <filesystem>

#include "app/fetch_progress.h"
#include "app/main_window.h"
#include "app/save_progress.h"
#include "app/settings_dialog.h"
#include "boxdata/timer_writer.h"
#include "plan/tuner_texts.h"
#include "platform/now.h"
#include "platform/safe_file.h"
#include "transfer/live_save_record.h"
#include "transfer/pending_restart.h"
#include "transfer/rules_upload.h"
#include "ui/undo_commands.h"

namespace tivolo::app {
namespace {

namespace fs = std::filesystem;

constexpr const char* kEarlierCopyName = "timers.xml.earlier";

std::string LocalTimeText(std::time_t when) {
  return QDateTime::fromSecsSinceEpoch(when).toString("dd-MM-yy hh:mm").toStdString();
}

}  // namespace

void MainWindow::RemoveLeftovers() {
  const fs::path local = options_.local_dir;
  platform::RemoveLeftoverReplacements(local);
  platform::RemoveLeftoverReplacements(local / "backups");
  std::error_code ec;
  fs::remove(local / "timers.readback", ec);
}

void MainWindow::FetchBoxFiles() {
  FetchRun run;
  run.box = Box();
  run.local_dir = options_.local_dir;
  run.log = [this](const std::string& line) { Log(line); };
  run.dialog_delay_ms = options_.fetch_dialog_delay_ms;
  fetch_result_ = RunFetchWithProgress(this, run);
  if (!fetch_result_.ok) {
    messages_->Beep();
    messages_->Alert(fetch_result_.AlertText());
  }
}

bool MainWindow::ShowEarlierCopy() {
  const fs::path copy = fs::path(options_.local_dir) / "timers.xml";
  if (!fetch_result_.ok || fetch_result_.Fetched("timers.xml") || !fs::exists(copy)) return true;
  const QDateTime when = QFileInfo(QString::fromStdString(copy.string())).lastModified();
  const bool show = messages_->Question(
      "The box has no timer list (timers.xml); it may have set an unreadable list aside as "
      "timers.xml_old. The program's folder holds an earlier copy, fetched " +
      when.toString("dd-MM-yy hh:mm").toStdString() +
      ".\nShow the timers of that earlier copy? Saving then puts them on the box.");
  if (show) return true;
  // Kept for the user, but not read as if it were the box's list.
  std::error_code ec;
  fs::rename(copy, fs::path(options_.local_dir) / kEarlierCopyName, ec);
  return false;
}

void MainWindow::ReadBoxFiles() {
  const bool earlier_copy = fetch_result_.ok && !fetch_result_.Fetched("timers.xml");
  const bool shown = ShowEarlierCopy();
  boxdata::ReadContext ctx;
  ctx.local_dir = options_.local_dir;
  ctx.clock = Clock();
  ctx.log = [this](std::string_view line) { Log(std::string(line)); };
  read_report_ = boxdata::ReadBoxFiles(tables_, ctx, &names_);
  BoxNamesRead();
  list_at_start_ = {};
  list_at_start_.box = Box();
  list_at_start_.state = read_report_.timer_list;
  list_at_start_.fetch_ok = fetch_result_.ok;
  list_at_start_.fetched = fetch_result_.Fetched("timers.xml");
  list_at_start_.text = read_report_.timer_list_text;
  list_at_start_.shown = list_at_start_.text;
  if (earlier_copy && shown) {
    // The box had none: every timer of the copy is new to it.
    list_at_start_.state = boxdata::TimerListState::kMissing;
    list_at_start_.text.clear();
  }
  ListReplaced(list_at_start_.fetched);
  if (!read_report_.failures.empty()) messages_->Error(read_report_.FailureText());
}

void MainWindow::ReloadFromBox() {
  struct Reading {
    MainWindow& w;
    ~Reading() { w.EndReading(); }
  } reading{*this};
  BeginReading();
  boxdata::EmptyTables(tables_);
  session_.change_count = 0;
  session_.save_owed = false;
  session_.last_saved_end = 0;
  RefreshActions();
  FetchBoxFiles();
  ReadBoxFiles();
  DetectWebInterface();
  OfferPendingRestart();
  TellInterruptedLiveSave();
  RefreshActions();
  ScheduleGuideFetch();
}

void MainWindow::ReloadClick() {
  if ((session_.change_count > 0 || session_.rules_changed) &&
      !messages_->Question("Reading the box's files again discards the changes made here.\n"
                           "Reload from the box?"))
    return;
  ReloadFromBox();
}

void MainWindow::ConfigurationClick() {
  const platform::ClockSettings clock_before = Clock();
  {
    SettingsDialog dialog(settings_, options_.config_file, *messages_, this);
    const transfer::TunerRead read = LastTunersRead();
    if (read.set.Known()) dialog.SetTunersRead(plan::DescribeTuners(read.set), read.source);
    dialog.exec();
  }
  LoadConfiguration();
  UseTuners();  // the manual set-up may have changed
  // Every timer keeps its instant: the grid shows it in the new zone.
  if (tables_.timers.Active()) {
    boxdata::ReexpressTimerTimes(tables_.timers, clock_before, Clock(), platform::NowUtc());
    ClockChanged(clock_before);
  }
  // The web interface's port or scheme, or the box, may have changed.
  if (tables_.timers.Active()) DetectWebInterface();
  const transfer::BoxAddress box = Box();
  // Nothing was read yet (the first run's dialog), or it was read from this box.
  if (!tables_.timers.Active() || box.SameFilesAs(list_at_start_.box)) return;
  // One box per run: the list shown belongs to the box it was read from.
  if (session_.change_count > 0 &&
      !messages_->Question("The configuration now names the box " + box.Label() +
                           ", and the timers shown were read from " + list_at_start_.box.Label() +
                           ".\nRead the new box's files now? That discards the changes made "
                           "here; until then, Save && Exit saves to neither box."))
    return;
  ReloadFromBox();
}

void MainWindow::OfferPendingRestart() {
  const std::optional<transfer::PendingRestart> pending =
      transfer::ReadPendingRestart(options_.local_dir);
  if (!pending || pending->box != Box().Label()) return;
  const std::string when = LocalTimeText(pending->when);
  // Without the box's list nothing can be told: the record waits for a start that reads it.
  if (!list_at_start_.fetch_ok) {
    Log("The timer list saved on " + when +
        " may still wait for the receiver's restart; the box's list was not read, so this is "
        "asked when it is.");
    return;
  }
  const transfer::TimerList sent = transfer::ReadTimerList(pending->list, Clock());
  const transfer::TimerList held = transfer::ReadTimerList(list_at_start_.text, Clock());
  if (!list_at_start_.fetched || !transfer::SameTimers(sent.timers, held.timers)) {
    transfer::ClearPendingRestart(options_.local_dir);
    messages_->Information(
        pending->restarted
            ? "The receiver was restarted after the timer list saved on " + when +
                  ", but that list could not be checked then, and the box holds another list "
                  "now. The timers shown are the box's own."
            : "The timer list saved on " + when +
                  " was not loaded by the receiver, and the box has written its own list over "
                  "it since. The timers shown are the box's own.");
    return;
  }
  if (pending->restarted) {
    // Restarted with it, and the box holds it still: the receiver loaded it.
    transfer::ClearPendingRestart(options_.local_dir);
    Log("The timer list saved on " + when + " is on the box, and the receiver has loaded it.");
    return;
  }
  list_at_start_.uploaded = pending->list;
  if (!messages_->Question("The timer list saved on " + when +
                           " is on the box, but the receiver was not restarted, so it has not "
                           "loaded it; any save of its own puts its old list back.\nRestart the "
                           "receiver now?")) {
    transfer::ClearPendingRestart(options_.local_dir);
    Log("The restart of the receiver was declined; it is not offered again.");
    return;
  }
  RunSave(false);
}

void MainWindow::TellInterruptedLiveSave() {
  const std::optional<transfer::LiveSaveRecord> record = transfer::ReadLiveSave(options_.local_dir);
  // Kept until a start reads the box's list, which shows what the box holds.
  if (!record || record->box != Box().Label() || !list_at_start_.fetch_ok) return;
  transfer::ClearLiveSave(options_.local_dir);
  messages_->Error(transfer::InterruptedLiveSaveText(*record, LocalTimeText(record->when)));
}

bool MainWindow::SaveRules() {
  const std::string text = boxdata::BuildAutoTimerFile(*session_.rules);
  const transfer::BoxAddress box = Box();
  const std::optional<std::string> as_read = session_.rules_as_read;
  const std::filesystem::path local_dir = options_.local_dir;
  const transfer::RulesUploadResult result = RunRulesUploadWithProgress(
      this, [this](const std::string& line) { Log(line); },
      [&](const RulesLog& log) {
        return transfer::UploadRules(box, {}, local_dir, text, as_read, log);
      });
  if (!result.ok) {
    Log("The series rules were not saved: " + result.error_type + ": " + result.error_message);
    messages_->Error(result.MessageText());
    return false;
  }
  Log("The series rules were saved to the box (" + std::to_string(session_.rules->rules.size()) +
      " rules); the rule plugin reads them at its next run.");
  session_.rules_changed = false;
  session_.rules_as_read = text;
  return true;
}

void MainWindow::SaveExitExecute() {
  RunSave(true);
}

void MainWindow::RunSave(bool end_program) {
  if (const auto record = transfer::ReadLiveSave(options_.local_dir);
      record && record->box == Box().Label()) {
    messages_->Error(transfer::kReloadBeforeSaving);
    return;
  }
  if (session_.rules_changed) {
    // A pending restart owes the box a save too, though nothing changed in this run.
    const bool list_owed = session_.change_count != 0 || session_.save_owed ||
                           !list_at_start_.uploaded.empty();
    if (!SaveRules()) return;
    if (!list_owed) {
      // Only the rules changed: the box needs nothing more, the rule plugin reads them itself.
      if (end_program) EndAfterSave();
      RefreshActions();
      return;
    }
  }
  if (SaveLive(end_program)) return;
  SaveRun run;
  run.input = transfer::PrepareSave(tables_, names_.channels, Box(), options_.local_dir,
                                    list_at_start_, Clock());
  run.input.tuners = {tuner_context_.tuners, tuner_context_.transponders};
  if (const transfer::WebDetection* answer = web_route_.AnswerFor(WebEndpoint());
      answer && answer->found) {
    run.input.web = WebEndpoint();
    // Live apply is off: what the interface changed lives in the receiver's memory only.
    run.input.write_first = !settings_.apply_live;
  }
  run.log = [this](const std::string& line) { Log(line); };
  run.messages = messages_;
  // No second save while this one runs: the progress dialog is modal, and so is this.
  save_exit_->setEnabled(false);
  const transfer::SaveResult result = RunSaveWithProgress(this, std::move(run));
  if (result.box_timers) web_route_.box_timers = *result.box_timers;
  list_at_start_.restart_done = result.outcome == transfer::SaveOutcome::kNotChecked;
  // The advice after these is to save again, also when nothing was changed in this run.
  session_.save_owed = result.RestartPending() ||
                       result.outcome == transfer::SaveOutcome::kOverwritten ||
                       result.outcome == transfer::SaveOutcome::kListMissing;
  if (result.EndProgram()) {
    if (end_program) {
      EndAfterSave();
      return;
    }
    list_at_start_.uploaded.clear();
    messages_->Information("The receiver was restarted and has loaded the timer list.");
    RefreshActions();
    return;
  }
  if (!result.uploaded_list.empty()) {
    list_at_start_.uploaded = result.uploaded_list;
    ShowTimerList(result.uploaded_list);
  }
  if (!result.merged_list.empty()) ShowTimerList(result.merged_list);
  RefreshActions();
  if (result.MessageIsError())
    messages_->Error(result.message);
  else
    messages_->Information(result.message);
}

void MainWindow::ShowTimerList(const std::string& text) {
  boxdata::ReadContext ctx;
  ctx.local_dir = options_.local_dir;
  ctx.clock = Clock();
  const boxdata::ReadReport report = boxdata::ReplaceTimerList(tables_, text, names_, ctx);
  list_at_start_.shown = text;
  list_at_start_.shown_origins.clear();
  ListReplaced(true);
  if (!report.failures.empty()) messages_->Error(report.FailureText());
}

void MainWindow::EndAfterSave() {
  // Nothing done in the second before the end could be saved any more.
  ending_ = true;
  for (QAction* action : {append_, edit_, delete_, save_exit_, reload_, switch_, find_in_guide_,
                          series_rules_, undo_->UndoAction(), undo_->RedoAction()})
    action->setEnabled(false);
  timer_terminate_.start();
}

}  // namespace tivolo::app
