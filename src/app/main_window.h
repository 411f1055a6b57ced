// The main window: the timer grid in the frame "Timers: " with its button bar, the menu
// "Main menu", the hidden log, the status bar; it owns the three tables, the settings and the
// start-up sequence, and offers them to the actions that edit and save the timers.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/config.h"
#include "app/qt_ui_handover.h"
#include "boxdata/box_reader.h"
#include "boxdata/box_tables.h"
#include "platform/clock.h"
#include "transfer/fetch_box_files.h"
#include "ui/timer_grid.h"
#include "ui/timer_list_actions.h"
#include "widgets/message_service.h"

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

namespace tivolo::app {

struct StartOptions {
  std::string config_file;  // config.ini's path
  std::string local_dir;    // the copies and "timers.new", with a trailing "/"
  bool debug = false;       // the first argument held DEBUG: the log is shown
  // Every box goes here; the window's own QMessageBox service when null.
  widgets::MessageService* messages = nullptr;
  // The reader's "ended a day ago" rule compares with this instead of the clock (tests).
  std::optional<platform::DateTime> now_local;
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
  const std::string& LocalDir() const { return options_.local_dir; }
  const std::string& ConfigFile() const { return options_.config_file; }
  Settings& GetSettings() { return settings_; }
  const platform::TimeZoneInfo& TimeZoneInfo() const { return time_zone_; }
  platform::ClockSettings Clock() const;
  int ChangeCount() const { return change_count_; }
  void AddChange() { ++change_count_; }
  platform::DateTime LastSavedEnd() const { return last_saved_end_; }
  void SetLastSavedEnd(platform::DateTime end) { last_saved_end_ = end; }
  // Reads config.ini into the settings and sets the caption from them.
  void LoadConfiguration();
  // Edit and Delete need a timer; Save && Exit a change. Append is always enabled.
  void RefreshActions();
  widgets::MessageService& Messages() { return *messages_; }
  // This run's reading of the local copies and fetch from the box.
  const boxdata::ReadReport& ReadResult() const { return read_report_; }
  const transfer::FetchResult& FetchResult() const { return fetch_result_; }
  transfer::BoxAddress Box() const;
  net::UiHandover& Handover() { return handover_; }
  // Runs fn; an error that leaves it is shown in an error box (every event handler does this).
  void Guarded(const std::function<void()>& fn);

  ui::TimerGrid* TimerGrid() const { return grid_; }
  QPlainTextEdit* Memo1() const { return memo1_; }
  QAction* Append() const { return append_; }
  QAction* Edit() const { return edit_; }
  QAction* Delete() const { return delete_; }
  QAction* SaveExit() const { return save_exit_; }
  QTimer& Timer1() { return timer1_; }
  QTimer& TimerTerminate() { return timer_terminate_; }

  // ---- Handlers ----
  void AppendExecute();
  void EditExecute();
  void DeleteExecute();
  void SaveExitExecute();
  void ConfigurationClick();
  void CloseClick();
  void Timer1Timer();
  void TimerTerminateTimer();

 private:
  void BuildWindow();
  QWidget* BuildTimersFrame();
  QAction* MakeAction(const char* caption, const char* hint, void (MainWindow::*handler)());
  void StartUpSteps();
  void LogTimeZone();
  bool FirstRunSettings();  // false: the dialog was left without saving
  void FetchBoxFiles();
  void ReadBoxFiles();

  StartOptions options_;
  std::unique_ptr<widgets::MessageService> own_messages_;
  widgets::MessageService* messages_;
  QtUiHandover handover_;
  boxdata::BoxTables tables_;
  Settings settings_;
  platform::TimeZoneInfo time_zone_;
  int change_count_ = 0;
  platform::DateTime last_saved_end_ = 0;
  boxdata::ReadReport read_report_;
  transfer::FetchResult fetch_result_;
  bool end_requested_ = false;

  ui::TimerGrid* grid_ = nullptr;
  QGroupBox* group_box1_ = nullptr;
  QPlainTextEdit* memo1_ = nullptr;
  QAction* append_ = nullptr;
  QAction* edit_ = nullptr;
  QAction* delete_ = nullptr;
  QAction* save_exit_ = nullptr;
  QTimer timer1_;
  QTimer timer_terminate_;
  // Append, Edit and Delete with the channel picker and the timer editor.
  ui::TimerSession session_;
  ui::TimerListActions* list_actions_ = nullptr;
};

}  // namespace tivolo::app
