#include "app/main_window.h"

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>
#include <filesystem>

#include "app/settings_dialog.h"
#include "platform/time_zone_log.h"
#include "ui/timer_list_view.h"
#include "widgets/date_formats.h"

namespace tivolo::app {
namespace {

constexpr int kFocusDelayMs = 50;
constexpr int kTopStripHeight = 3;
constexpr int kStatusBarHeight = 19;
constexpr int kButtonBarHeight = 25;
constexpr int kButtonWidth = 105;
constexpr int kButtonStep = 104;
constexpr double kFontPoints = 8;  // the buttons overlap by one pixel, border on border

}  // namespace

MainWindow::MainWindow(StartOptions options, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                              Qt::WindowCloseButtonHint),
      options_(std::move(options)),
      messages_(options_.messages) {
  if (!messages_) {
    own_messages_ = std::make_unique<widgets::BoxMessageService>(this);
    messages_ = own_messages_.get();
  }
  setObjectName("MainWindow");
  setWindowTitle("Form1");
  BuildWindow();
  session_.tables = &tables_;
  session_.clock = [this] { return Clock(); };
  session_.beep = [this] { messages_->Beep(); };
  session_.message = [this](const std::string& text) { messages_->Information(text); };
  session_.log = [this](std::string_view line) { Log(std::string(line)); };
  session_.guarded = [this](const std::function<void()>& handler) { Guarded(handler); };
  // The editor says before Save that a timer without a name would be refused.
  session_.names_required = [this] {
    return transfer::ChooseSaveRoute(settings_.apply_live, web_route_.AnswerFor(WebEndpoint()),
                                     !list_at_start_.uploaded.empty()) ==
           transfer::SaveRoute::kLive;
  };
  list_actions_ = new ui::TimerListActions(this, session_);
  list_actions_->SetActions(edit_, delete_, save_exit_);
  BuildListParts();
  focus_timer_.setSingleShot(true);
  focus_timer_.setInterval(kFocusDelayMs);
  connect(&focus_timer_, &QTimer::timeout, this, [this] { Guarded([this] { FocusGrid(); }); });
  timer_terminate_.setSingleShot(true);
  timer_terminate_.setInterval(static_cast<int>(transfer::kEndDelay.count()));
  connect(&timer_terminate_, &QTimer::timeout, this,
          [this] { Guarded([this] { TimerTerminateTimer(); }); });
}

MainWindow::~MainWindow() {
  // The application waits for the background work when it ends: no download goes on.
  CancelGuideFetch();
  // The views go before the tables they show: a table closing under its grid would have the
  // grid report to this window, whose members are gone by then.
  delete takeCentralWidget();
  grid_ = nullptr;
  list_view_ = nullptr;
}

QAction* MainWindow::MakeAction(const char* caption, const char* hint,
                                void (MainWindow::*handler)()) {
  auto* action = new QAction(caption, this);
  action->setToolTip(hint);
  action->setStatusTip(hint);
  connect(action, &QAction::triggered, this,
          [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  addAction(action);
  return action;
}

void MainWindow::BuildWindow() {
  append_ = MakeAction("&Append", "Append timer event", &MainWindow::AppendExecute);
  edit_ = MakeAction("&Edit", "Edit timer event", &MainWindow::EditExecute);
  delete_ = MakeAction("&Delete", "Delete timer event", &MainWindow::DeleteExecute);
  save_exit_ = MakeAction("&Save && Exit", "Save changes to the 7025 and reboot the box!",
                          &MainWindow::SaveExitExecute);

  QMenu* menu = menuBar()->addMenu("&Main menu");
  menu->setObjectName("MainMenu");
  // F10 opens the menu bar's first menu, as in other desktop programs.
  auto* to_menu_bar = new QAction(this);
  to_menu_bar->setObjectName("MenuBarKey");
  to_menu_bar->setShortcut(Qt::Key_F10);
  connect(to_menu_bar, &QAction::triggered, this,
          [this, menu] { menuBar()->setActiveAction(menu->menuAction()); });
  addAction(to_menu_bar);
  connect(menu->addAction("Configuration"), &QAction::triggered, this,
          [this] { Guarded([this] { ConfigurationClick(); }); });
  reload_ = menu->addAction("Reload from box");
  reload_->setObjectName("ReloadFromBox");
  reload_->setShortcut(Qt::Key_F5);
  connect(reload_, &QAction::triggered, this, [this] { Guarded([this] { ReloadClick(); }); });
  menu->addAction(MakeFindInGuide());
  connect(menu->addAction("Close"), &QAction::triggered, this,
          [this] { Guarded([this] { CloseClick(); }); });
  menu->addAction(MakeSeriesRules());

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* top_strip = new QFrame(central);
  top_strip->setFixedHeight(kTopStripHeight);
  top_strip->setFrameShape(QFrame::NoFrame);
  layout->addWidget(top_strip);
  layout->addWidget(BuildTimersFrame(), 1);
  log_view_ = new QPlainTextEdit(central);
  log_view_->setObjectName("Memo1");
  log_view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_view_->setPlainText(QString::fromStdString(log_text_));
  log_view_->setFixedHeight(1);
  log_view_->setVisible(false);
  layout->addWidget(log_view_);
  setCentralWidget(central);

  auto* status = new QStatusBar(this);
  status->setFixedHeight(kStatusBarHeight);
  status->setSizeGripEnabled(true);
  status->addPermanentWidget(MakeGuideStatus());
  setStatusBar(status);

  // The frame's layout at its smallest; a larger window gives the description the room.
  setMinimumSize(kWindowWidth, menuBar()->sizeHint().height() + kClientHeight);
  resize(minimumSize());
  RestoreLayout();
  if (QScreen* screen = QApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

QWidget* MainWindow::BuildTimersFrame() {
  timers_frame_ = new QGroupBox("Timers: ");
  timers_frame_->setObjectName("GroupBox1");
  list_view_ = new ui::TimerListView(timers_frame_);
  list_view_->Bind(tables_.ds_timers, [this] { return session_.Now(); });
  grid_ = list_view_->Grid();
  auto* button_bar = new QWidget(timers_frame_);
  button_bar->setObjectName("Panel1");
  button_bar->setFixedHeight(kButtonBarHeight);
  int left = 0;
  for (QAction* action : {append_, edit_, delete_, save_exit_}) {
    auto* button = new QPushButton(action->text(), button_bar);
    button->setGeometry(left, 0, kButtonWidth, kButtonBarHeight);
    button->setToolTip(action->toolTip());
    button->setStatusTip(action->statusTip());
    button->setAutoDefault(false);
    button->setEnabled(action->isEnabled());
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    connect(action, &QAction::changed, button,
            [button, action] { button->setEnabled(action->isEnabled()); });
    left += kButtonStep;
  }
  // Enter and a double click edit the timer, the Delete key deletes it: the actions' own rules
  // (a disabled action does nothing).
  connect(grid_, &ui::TimerGrid::EditRequested, edit_, &QAction::trigger);
  connect(grid_, &ui::TimerGrid::DeleteRequested, delete_, &QAction::trigger);
  auto* layout = new QVBoxLayout(timers_frame_);
  layout->addWidget(list_view_, 1);
  layout->addWidget(button_bar);
  return timers_frame_;
}

// The hidden log is kept as text and put into its view only when the view is shown: laying out
// a line per timer of a long list in a view nobody sees would take longer than reading it.
void MainWindow::Log(const std::string& line) {
  log_text_ += '\n';
  log_text_ += line;
  if (log_view_->isVisibleTo(this)) log_view_->appendPlainText(QString::fromStdString(line));
}

std::string MainWindow::LogText() const {
  return log_text_;
}

platform::ClockSettings MainWindow::Clock() const {
  platform::ClockSettings clock;
  clock.utc_auto = settings_.utc_auto;
  clock.utc_offset = settings_.utc_offset;
  clock.time_zone = time_zone_;
  return clock;
}

transfer::BoxAddress MainWindow::Box() const {
  return BoxAddressOf(settings_);
}

void MainWindow::Guarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    messages_->Error(e.what());
  } catch (...) {
    messages_->Error("");
  }
}

void MainWindow::RefreshActions() {
  append_->setEnabled(true);
  reload_->setEnabled(true);
  list_actions_->RefreshActions();
}

void MainWindow::LoadConfiguration() {
  settings_ =
      app::LoadConfiguration(options_.config_file, [this](const std::string& line) { Log(line); });
  // "[*]": the mark of unsaved changes, shown while setWindowModified says so.
  setWindowTitle(QString::fromStdString(MainCaption(settings_)) + "[*]");
}

// ---- Start-up ----

void MainWindow::StartUp() {
  // Until the actions are brought up to date, none but Append can be used.
  for (QAction* action : {edit_, delete_, save_exit_})
    action->setEnabled(false);
  Guarded([this] { StartUpSteps(); });
  if (!end_requested_) FitFirstStart();
}

void MainWindow::StartUpSteps() {
  PrepareFormats();
  setMinimumWidth(kWindowWidth);
  session_.last_saved_end = 0;
  session_.change_count = 0;
  LogTimeZone();
  if (!FirstRunSettings()) return;
  LoadConfiguration();
  tables_.Open();
  ShowLogWhenDebugging();
  RemoveLeftovers();
  FetchBoxFiles();
  ReadBoxFiles();
  DetectWebInterface();
  OfferPendingRestart();
  TellInterruptedLiveSave();
  RefreshActions();
  focus_timer_.start();
  ScheduleGuideFetch();
}

void MainWindow::PrepareFormats() {
  widgets::ApplyDateFormats();
  ui::LabelDayFields(tables_.timers, ui::ApplyDayNames());
  grid_->Model()->RefreshHeaders();
}

void MainWindow::ShowLogWhenDebugging() {
  if (!options_.debug) return;
  log_view_->setPlainText(QString::fromStdString(log_text_));
  log_view_->setFixedHeight(kLogHeight);
  log_view_->setVisible(true);
}

void MainWindow::LogTimeZone() {
  std::string problem;
  time_zone_ = platform::ReadSystemTimeZone(&problem);
  for (const std::string& line :
       platform::TimeZoneLogLines(time_zone_, problem, widgets::LongTimeText)) {
    Log(line);
  }
}

bool MainWindow::FirstRunSettings() {
  if (std::filesystem::exists(options_.config_file)) return true;
  auto* dialog = new SettingsDialog(settings_, options_.config_file, *messages_, this);
  dialog->SetFirstRun(true);
  dialog->exec();
  if (!dialog->EndRequested()) return true;
  // Left without saving: there is no box to talk to, so the program ends before any
  // network traffic.
  end_requested_ = true;
  return false;
}

// ---- Handlers ----

void MainWindow::CloseClick() {
  close();
}

void MainWindow::FocusGrid() {
  focus_timer_.stop();
  grid_->setFocus();
}

void MainWindow::TimerTerminateTimer() {
  timer_terminate_.stop();
  close();
}

}  // namespace tivolo::app
