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

#include "app/fetch_progress.h"
#include "app/settings_dialog.h"
#include "platform/time_zone_log.h"
#include "widgets/date_formats.h"

namespace tivolo::app {
namespace {

constexpr int kFocusDelayMs = 50;
constexpr int kTerminateDelayMs = 1000;
constexpr int kTopStripHeight = 3;
constexpr int kStatusBarHeight = 19;
constexpr int kButtonBarHeight = 25;
constexpr int kButtonWidth = 105;
constexpr int kButtonStep = 104;
constexpr double kFontPoints = 8;  // the buttons overlap by one pixel, border on border

}  // namespace

MainWindow::MainWindow(StartOptions options, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
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
  session_.log = [this](std::string_view line) { Log(std::string(line)); };
  session_.guarded = [this](const std::function<void()>& handler) { Guarded(handler); };
  session_.change_count = &change_count_;
  session_.last_saved_end = &last_saved_end_;
  list_actions_ = new ui::TimerListActions(this, session_);
  list_actions_->SetActions(edit_, delete_, save_exit_);
  timer1_.setSingleShot(true);
  timer1_.setInterval(kFocusDelayMs);
  connect(&timer1_, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });
  timer_terminate_.setSingleShot(true);
  timer_terminate_.setInterval(kTerminateDelayMs);
  connect(&timer_terminate_, &QTimer::timeout, this,
          [this] { Guarded([this] { TimerTerminateTimer(); }); });
}

MainWindow::~MainWindow() = default;

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

  QMenu* menu = menuBar()->addMenu("Main menu");
  menu->setObjectName("MainMenu");
  connect(menu->addAction("Configuration"), &QAction::triggered, this,
          [this] { Guarded([this] { ConfigurationClick(); }); });
  connect(menu->addAction("Close"), &QAction::triggered, this,
          [this] { Guarded([this] { CloseClick(); }); });

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* panel2 = new QFrame(central);
  panel2->setFixedHeight(kTopStripHeight);
  panel2->setFrameShape(QFrame::NoFrame);
  layout->addWidget(panel2);
  layout->addWidget(BuildTimersFrame(), 1);
  memo1_ = new QPlainTextEdit(central);
  memo1_->setObjectName("Memo1");
  memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo1_->setPlainText("Memo1");
  memo1_->setFixedHeight(1);
  memo1_->setVisible(false);
  layout->addWidget(memo1_);
  setCentralWidget(central);

  auto* status = new QStatusBar(this);
  status->setFixedHeight(kStatusBarHeight);
  status->setSizeGripEnabled(false);
  setStatusBar(status);

  // Not resizable: the layout of the frame and its button bar is fixed.
  setFixedSize(kWindowWidth, menuBar()->sizeHint().height() + kClientHeight);
  if (QScreen* screen = QApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

QWidget* MainWindow::BuildTimersFrame() {
  group_box1_ = new QGroupBox("Timers: ");
  group_box1_->setObjectName("GroupBox1");
  grid_ = new ui::TimerGrid(group_box1_);
  grid_->Bind(tables_.ds_timers);
  auto* panel1 = new QWidget(group_box1_);
  panel1->setObjectName("Panel1");
  panel1->setFixedHeight(kButtonBarHeight);
  int left = 0;
  for (QAction* action : {append_, edit_, delete_, save_exit_}) {
    auto* button = new QPushButton(action->text(), panel1);
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
  auto* layout = new QVBoxLayout(group_box1_);
  layout->addWidget(grid_, 1);
  layout->addWidget(panel1);
  return group_box1_;
}

void MainWindow::Log(const std::string& line) {
  memo1_->appendPlainText(QString::fromStdString(line));
}

std::string MainWindow::LogText() const {
  return memo1_->toPlainText().toStdString();
}

platform::ClockSettings MainWindow::Clock() const {
  platform::ClockSettings clock;
  clock.utc_auto = settings_.utc_auto;
  clock.utc_offset = settings_.utc_offset;
  clock.time_zone = time_zone_;
  return clock;
}

transfer::BoxAddress MainWindow::Box() const {
  transfer::BoxAddress box;
  box.host = settings_.ip;
  box.ftp_port = settings_.ftp_port;
  box.telnet_port = settings_.telnet_port;
  box.user = settings_.username;
  box.password = settings_.password;
  box.folder = settings_.box_folder;
  return box;
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
  list_actions_->RefreshActions();
}

void MainWindow::LoadConfiguration() {
  settings_ = app::LoadConfiguration(options_.config_file);
  setWindowTitle(QString::fromStdString(MainCaption(settings_)));
}

// ---- Start-up ----

void MainWindow::StartUp() {
  // Until the actions are brought up to date, none but Append can be used.
  for (QAction* action : {edit_, delete_, save_exit_})
    action->setEnabled(false);
  Guarded([this] { StartUpSteps(); });
}

void MainWindow::StartUpSteps() {
  widgets::ApplyDateFormats();  // 1
  setFixedWidth(kWindowWidth);  // 2
  last_saved_end_ = 0;          // 3
  change_count_ = 0;
  ui::LabelDayFields(tables_.timers, ui::ApplyDayNames());  // 4
  grid_->Model()->RefreshHeaders();
  LogTimeZone();                    // 5
  if (!FirstRunSettings()) return;  // 6
  LoadConfiguration();
  // 7: LocalDir is fixed by the options.
  tables_.Open();        // 8
  if (options_.debug) {  // 9
    memo1_->setFixedHeight(kLogHeight);
    memo1_->setVisible(true);
  }
  FetchBoxFiles();   // 10
  ReadBoxFiles();    // 11
  RefreshActions();  // 12
  timer1_.start();   // 13
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

void MainWindow::ReadBoxFiles() {
  boxdata::ReadContext ctx;
  ctx.local_dir = options_.local_dir;
  ctx.clock = Clock();
  ctx.log = [this](std::string_view line) { Log(std::string(line)); };
  ctx.now_local = options_.now_local;
  read_report_ = boxdata::ReadBoxFiles(tables_, ctx);
  if (read_report_.failures.empty()) return;
  std::string text;
  for (const boxdata::FileFailure& failure : read_report_.failures) {
    if (!text.empty()) text += '\n';
    text += failure.file + ": " + failure.message;
  }
  messages_->Error(text);
}

// ---- Handlers ----

void MainWindow::ConfigurationClick() {
  SettingsDialog dialog(settings_, options_.config_file, *messages_, this);
  dialog.exec();
  LoadConfiguration();
}

void MainWindow::CloseClick() {
  close();
}

void MainWindow::Timer1Timer() {
  timer1_.stop();
  grid_->setFocus();
}

void MainWindow::TimerTerminateTimer() {
  timer_terminate_.stop();
  close();
}

}  // namespace tivolo::app
