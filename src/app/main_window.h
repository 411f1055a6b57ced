// The main window: the timer grid in the frame "Timers: " with its button bar, the menu
// "Main menu", the hidden log, the status bar; it owns the three tables, the settings and the
// start-up sequence, and offers them to the actions that edit and save the timers.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/config.h"
#include "boxdata/box_reader.h"
#include "boxdata/box_tables.h"
#include "platform/clock.h"
#include "transfer/box_fetch.h"
#include "transfer/live_save.h"
#include "transfer/save_to_box.h"
#include "transfer/tuner_read.h"
#include "transfer/web_route.h"
#include "ui/timer_conflicts.h"
#include "ui/timer_grid.h"
#include "ui/timer_list_actions.h"
#include "web/http_client.h"
#include "widgets/message_service.h"

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tivolo::ui {
class TimerConflicts;
class TimerListView;
class TimerUndo;
class WeekView;
struct WeekPlan;
}  // namespace tivolo::ui

namespace tivolo::app {

class GuideStatus;
struct GuideLoad;
class ListStatus;

struct StartOptions {
  std::string config_file;  // config.ini's path
  std::string local_dir;    // the copies and "timers.new", with a trailing "/"
  bool debug = false;       // the first argument held DEBUG: the log is shown
  // Every box goes here; the window's own QMessageBox service when null.
  widgets::MessageService* messages = nullptr;
  int fetch_dialog_delay_ms = 300;
};

inline constexpr int kWindowWidth = 886;
inline constexpr int kClientHeight = 497;
inline constexpr int kLogHeight = 300;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(StartOptions options, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The start-up sequence; run once, before the window is shown. An error that leaves a
  // step is shown in an error box and the rest is skipped.
  void StartUp();
  // True when the first-run settings dialog was left without saving: the program ends.
  bool EndRequested() const { return end_requested_; }

  // ---- What the actions and the save use ----
  boxdata::BoxTables& Tables() { return tables_; }
  void Log(const std::string& line);
  std::string LogText() const;
  const std::string& ConfigFile() const { return options_.config_file; }
  Settings& GetSettings() { return settings_; }
  platform::ClockSettings Clock() const;
  int ChangeCount() const { return session_.change_count; }
  void AddChange() { ++session_.change_count; }
  platform::DateTime LastSavedEnd() const { return session_.last_saved_end; }
  // Reads config.ini into the settings and sets the caption from them.
  void LoadConfiguration();
  // Edit and Delete need a timer; Save && Exit a change. Append is always enabled.
  void RefreshActions();
  // This run's reading of the local copies and fetch from the box.
  const boxdata::ReadReport& ReadResult() const { return read_report_; }
  const transfer::FetchResult& FetchResult() const { return fetch_result_; }
  transfer::BoxAddress Box() const;
  // Runs fn; an error that leaves it is shown in an error box (every event handler does this).
  void Guarded(const std::function<void()>& fn);

  ui::TimerGrid* TimerGrid() const { return grid_; }
  QPlainTextEdit* LogView() const { return log_view_; }
  QAction* Append() const { return append_; }
  QAction* Edit() const { return edit_; }
  QAction* Delete() const { return delete_; }
  QAction* SaveExit() const { return save_exit_; }
  QAction* Reload() const { return reload_; }
  QAction* Switch() const { return switch_; }
  ui::TimerListView* ListView() const { return list_view_; }
  ui::TimerUndo* Undo() const { return undo_; }
  app::ListStatus* Status() const { return list_status_; }
  // Where the window keeps its size and the list's layout between runs: beside config.ini.
  std::string LayoutFile() const;
  // The box's list as read at start (or at the last reload): what a save merges with.
  const transfer::ListAtStart& ListAtStart() const { return list_at_start_; }
  // What the box's web interface said, and its timer list as last read (main_window_web.cpp).
  const transfer::WebRoute& WebRouteState() const { return web_route_; }
  web::HttpEndpoint WebEndpoint() const;
  QTimer& FocusTimer() { return focus_timer_; }
  QTimer& TimerTerminate() { return timer_terminate_; }

  // ---- The programme guide (main_window_guide.cpp) ----
  // The box's web interface once it is found (nothing: none): the channel picker may ask it
  // for a channel's programmes when the guide file is missing or old.
  void UseWebInterfaceForGuide(std::optional<web::HttpEndpoint> endpoint);
  // The guide as read in the background; null until the first reading has ended.
  std::shared_ptr<const ui::GuideState> Guide() const { return session_.guide; }
  // The box's series rules as read with the guide (null until then, or when not read).
  std::shared_ptr<boxdata::AutoTimerFile> Rules() const { return session_.rules; }
  GuideStatus* GuideStatusBar() const { return guide_status_; }
  QAction* FindInGuide() const { return find_in_guide_; }
  // "Series rules": enabled once the rules have been read with the guide.
  QAction* SeriesRules() const { return series_rules_; }

  // ---- Handlers ----
  // Append, Edit and Delete are the timer list's own, with its channel picker and editor.
  void AppendExecute() { list_actions_->AppendExecute(); }
  void EditExecute() { list_actions_->EditExecute(); }
  void DeleteExecute() { list_actions_->DeleteExecute(); }
  void SwitchExecute();
  void SaveExitExecute();
  void ConfigurationClick();
  void ReloadClick();
  void CloseClick();
  void FindInGuideClick();
  void SeriesRulesClick();
  void FocusGrid();
  void TimerTerminateTimer();

 protected:
  // With unsaved changes: Save (Save && Exit's save), Discard or Cancel. After a save that
  // ends the program it closes without a question.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWindow();
  void BuildListParts();
  void RestoreLayout();
  void SaveLayout() const;
  // A first start (no size kept from an earlier run): wide enough for every column, the
  // description readable, within the screen.
  void FitFirstStart();
  // While the box's lists are read again the status bar says so, and the columns hold still.
  void BeginReading();
  void EndReading();
  // After every change of the list or the count of changes: the counts shown and the title's
  // mark of unsaved changes.
  void ChangesShown();
  // The tables hold a list read afresh (from the box, a copy, or after a save): nothing before
  // it can be undone, and the status bar tells where it came from.
  void ListReplaced(bool from_box);
  void UpdateListParts();
  // The configuration changed the clock: the undo steps hold times as they were shown.
  void ClockChanged(const platform::ClockSettings& before);
  QWidget* BuildTimersFrame();
  QAction* MakeAction(const char* caption, const char* hint, void (MainWindow::*handler)());
  void StartUpSteps();
  void PrepareFormats();
  void ShowLogWhenDebugging();
  void LogTimeZone();
  bool FirstRunSettings();  // false: the dialog was left without saving
  void FetchBoxFiles();
  void ReadBoxFiles();
  // The box listed no timers.xml: false when the earlier local copy is not to be shown.
  bool ShowEarlierCopy();
  void ReloadFromBox();
  void OfferPendingRestart();
  // A save through the web interface cut off earlier: told once the box's list is read.
  void TellInterruptedLiveSave();
  // Uploads the changed series rules first; false when they could not be saved (said in a box).
  bool SaveRules();
  // Runs the save; after a completed restart the program ends when end_program is set.
  void RunSave(bool end_program);
  void ShowTimerList(const std::string& text);
  // Asks the box's web interface what it is, in the background; the log and the status bar
  // then say which way Save && Exit goes.
  void DetectWebInterface();
  void ShowSaveRoute();
  void ShowBoxStates();
  // Save && Exit through the web interface when that is the way; false when the upload route
  // is to be taken instead.
  bool SaveLive(bool end_program);
  void ShowLiveResult(const transfer::LiveSaveResult& result);
  void EndAfterSave();
  void RemoveLeftovers();
  class GuideJob;
  QAction* MakeFindInGuide();
  QAction* MakeSeriesRules();
  QWidget* MakeGuideStatus();
  // The guide fetch starts from the event loop, after the window is shown.
  void ScheduleGuideFetch();
  void StartGuideFetch();
  void CancelGuideFetch();
  void GuideLoaded(const GuideLoad& load);
  // ---- Tuners and conflicts (main_window_tuners.cpp) ----
  void BuildTunerParts();
  // The service list was read: its transponders are what the check tunes to.
  void BoxNamesRead();
  void StartTunerRead();
  // Stops waiting for the box (its answer is dropped) and uses what is known without it.
  void CancelTunerRead();
  void TunersRead(const transfer::TunerRead& read);
  // The set the check uses: the one read from the box or its copy, else the manual set-up of
  // the configuration, else none.
  void UseTuners();
  // The set-up last read from the box: this run's, or the copy of an earlier run's.
  transfer::TunerRead LastTunersRead() const;
  void CheckConflicts();
  void ShowTunerStatus();
  ui::WeekPlan WeekPlan() const;
  void ShowWeek();
  void SelectRecord(int32_t record);

  StartOptions options_;
  std::unique_ptr<widgets::MessageService> own_messages_;
  widgets::MessageService* messages_;
  boxdata::BoxTables tables_;
  Settings settings_;
  platform::TimeZoneInfo time_zone_;
  boxdata::ReadReport read_report_;
  boxdata::BoxNames names_;
  transfer::ListAtStart list_at_start_;
  transfer::FetchResult fetch_result_;
  transfer::WebRoute web_route_;
  bool end_requested_ = false;

  ui::TimerGrid* grid_ = nullptr;
  QGroupBox* timers_frame_ = nullptr;
  QPlainTextEdit* log_view_ = nullptr;
  std::string log_text_ = "Memo1";  // the whole log, shown or not
  QAction* append_ = nullptr;
  QAction* edit_ = nullptr;
  QAction* delete_ = nullptr;
  QAction* save_exit_ = nullptr;
  QAction* reload_ = nullptr;
  QAction* switch_ = nullptr;
  ui::TimerListView* list_view_ = nullptr;
  ui::TimerUndo* undo_ = nullptr;
  app::ListStatus* list_status_ = nullptr;
  std::string list_box_;        // for the status bar: the box the list came from ...
  std::string list_origin_;     // ... and how: "read 14:39", ...
  bool ending_ = false;         // saved and restarted: the program ends within a second
  bool reading_ = false;        // the box's lists are being read again
  bool size_restored_ = false;  // the window's size came from an earlier run
  QTimer focus_timer_;
  QTimer timer_terminate_;
  // Append, Edit and Delete with the channel picker and the timer editor.
  ui::TimerSession session_;
  ui::TimerListActions* list_actions_ = nullptr;
  GuideStatus* guide_status_ = nullptr;
  QAction* find_in_guide_ = nullptr;
  QAction* series_rules_ = nullptr;
  std::shared_ptr<GuideJob> guide_job_;  // the fetch running, to cancel it
  int guide_run_ = 0;  // the number of the latest fetch: older ones' reports are dropped
  ui::TunerContext tuner_context_;
  std::unique_ptr<ui::TimerConflicts> conflicts_;  // null while the tuners are not known
  bool tuner_read_running_ = false;
  int tuner_run_ = 0;  // the number of the latest read: an older or cancelled one is dropped
  std::shared_ptr<std::atomic<bool>> tuner_cancel_;  // the running read's cancel flag
  transfer::TunerRead tuner_read_;                   // what the latest read gave
  GuideStatus* tuner_progress_ = nullptr;            // its steps and Cancel
  QTimer conflict_timer_;                            // a check a moment after the list changed
  QLabel* tuner_status_ = nullptr;
  QAction* week_ = nullptr;
  QAction* only_conflicts_ = nullptr;
  QWidget* week_window_ = nullptr;
  ui::WeekView* week_view_ = nullptr;
};

}  // namespace tivolo::app
