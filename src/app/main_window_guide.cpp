// The programme guide in the main window: fetched and read in the background once the window
// is shown (its progress and Cancel in the status bar), kept for the channel picker and "Find
// in guide", and, when the box's web interface is known, asked for a channel's programmes
// when the guide file is old. A box without a guide is a note, never an error box.
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>

#include "app/background_run.h"
#include "app/guide_load.h"
#include "app/guide_status.h"
#include "app/main_window.h"
#include "ui/find_in_guide.h"
#include "ui/series_rules_window.h"
#include "web/web_interface.h"

namespace tivolo::app {
namespace {

// A channel's programmes from the web interface are a small reply; the picker shows the
// guide file's meanwhile.
constexpr web::HttpBounds kWebGuideBounds{std::chrono::milliseconds(2000),
                                          std::chrono::milliseconds(4000)};
constexpr int kPercent = 100;

}  // namespace

// The fetch's reports, made on the worker's thread, posted to the window in order; dropped
// when the window is gone or has started another fetch since.
class MainWindow::GuideJob : public transfer::GuideFetchObserver {
 public:
  GuideJob(MainWindow* window, int run)
      : window_(window), run_(run), fetch_(window->Box(), window->options_.local_dir, *this) {}
  GuideJob(const GuideJob&) = delete;
  GuideJob& operator=(const GuideJob&) = delete;

  transfer::GuideFetch& Fetch() { return fetch_; }

  void Log(const std::string& line) override {
    Post([line](MainWindow& w) { w.Log(line); });
  }
  void Progress(const std::string& file, int index, int count) override {
    Post([=](MainWindow& w) { w.guide_status_->ShowStep(file, index, count); });
  }
  void Received(int64_t bytes, int64_t total) override {
    // One report a percent: the window need not repaint for every block.
    const int64_t percent = total > 0 ? bytes * kPercent / total : 0;
    if (percent == last_percent_) return;
    last_percent_ = percent;
    Post([=](MainWindow& w) { w.guide_status_->ShowReceived(bytes, total); });
  }

 private:
  void Post(std::function<void(MainWindow&)> fn) {
    // Through the application object, which outlives the window: the pointer is looked at on
    // the window's thread only.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [window = window_, run = run_, fn = std::move(fn)] {
          if (window && window->guide_run_ == run) fn(*window);
        },
        Qt::QueuedConnection);
  }

  QPointer<MainWindow> window_;
  const int run_;
  int64_t last_percent_ = -1;
  transfer::GuideFetch fetch_;  // last: it reports to the members above
};

QAction* MainWindow::MakeFindInGuide() {
  find_in_guide_ = new QAction("Find in guide", this);
  find_in_guide_->setObjectName("FindInGuide");
  find_in_guide_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  find_in_guide_->setEnabled(false);
  connect(find_in_guide_, &QAction::triggered, this,
          [this] { Guarded([this] { FindInGuideClick(); }); });
  addAction(find_in_guide_);
  return find_in_guide_;
}

QAction* MainWindow::MakeSeriesRules() {
  series_rules_ = new QAction("Series rules", this);
  series_rules_->setObjectName("SeriesRules");
  series_rules_->setEnabled(false);
  connect(series_rules_, &QAction::triggered, this,
          [this] { Guarded([this] { SeriesRulesClick(); }); });
  addAction(series_rules_);
  return series_rules_;
}

QWidget* MainWindow::MakeGuideStatus() {
  guide_status_ = new GuideStatus(this);
  connect(guide_status_, &GuideStatus::CancelRequested, this,
          [this] { Guarded([this] { CancelGuideFetch(); }); });
  return guide_status_;
}

void MainWindow::ScheduleGuideFetch() {
  // From the event loop: the window is on screen by then, and nothing here holds it up.
  QTimer::singleShot(0, this, [this] { Guarded([this] { StartGuideFetch(); }); });
}

void MainWindow::StartGuideFetch() {
  CancelGuideFetch();
  const int run = ++guide_run_;
  // The guide belongs to the box whose files were read: none until this box's is read.
  session_.guide.reset();
  session_.rules.reset();
  session_.rules_changed = false;
  session_.rules_as_read.reset();
  find_in_guide_->setEnabled(false);
  series_rules_->setEnabled(false);
  // When the box did not answer the fetch of its files, the earlier copy is read at once.
  std::shared_ptr<GuideJob> job;
  if (fetch_result_.ok) job = std::make_shared<GuideJob>(this, run);
  guide_job_ = job;
  if (!job) guide_status_->ShowReading();
  const std::filesystem::path local_dir = options_.local_dir;
  const platform::ClockSettings clock = Clock();
  StartInBackground<GuideLoad>(
      this,
      [job, local_dir, clock] {
        return FetchAndReadGuide(job ? &job->Fetch() : nullptr, local_dir, clock);
      },
      [this, run](const GuideLoad& load) {
        if (run == guide_run_) Guarded([this, &load] { GuideLoaded(load); });
      });
}

void MainWindow::CancelGuideFetch() {
  if (!guide_job_) return;
  guide_job_->Fetch().Cancel();
  guide_job_.reset();
  guide_status_->ShowReading();
}

void MainWindow::GuideLoaded(const GuideLoad& load) {
  guide_job_.reset();
  session_.guide = load.state;
  Log(load.LogLine());
  Log(load.rules_note);
  if (load.rules) {
    session_.rules = std::make_shared<boxdata::AutoTimerFile>(*load.rules);
    // Unedited, the file builds back to its bytes as read.
    session_.rules_as_read = boxdata::BuildAutoTimerFile(*load.rules);
  } else if (load.fetch.ok) {
    // The box has none yet: rules added here start the file.
    session_.rules = std::make_shared<boxdata::AutoTimerFile>(boxdata::EmptyAutoTimerFile());
  }
  series_rules_->setEnabled(session_.rules != nullptr && !ending_);
  guide_status_->ShowResult(load.StatusText());
  // Nothing added in the second before the program ends could be saved any more.
  find_in_guide_->setEnabled(load.state->HasGuide() && !ending_);
  // The guide's fetch brought the settings file, which holds the tuners' set-up.
  StartTunerRead();
}

void MainWindow::FindInGuideClick() {
  if (ending_ || !session_.guide || !session_.guide->HasGuide()) return;
  ui::FindInGuide dialog(this, session_, names_.channels,
                         [this](const std::string& zender, const std::string& service,
                                const boxdata::TimerFromEvent& timer) {
                           list_actions_->AppendForEvent(zender, service, timer);
                         });
  dialog.exec();
}

void MainWindow::SeriesRulesClick() {
  if (ending_ || !session_.rules) return;
  ui::SeriesRulesWindow window(this, session_, names_.channels, &tuner_context_);
  window.exec();
  RefreshActions();
}

void MainWindow::UseWebInterfaceForGuide(std::optional<web::HttpEndpoint> endpoint) {
  if (!endpoint) {
    session_.web_guide = nullptr;
    return;
  }
  using Events = std::optional<std::vector<boxdata::ProgrammeEvent>>;
  struct Answer {
    Events events;
    std::string error;
  };
  session_.web_guide = [this, endpoint = *endpoint](const std::string& service, int64_t from,
                                                    ui::TimerSession::WebGuideDone done) {
    StartInBackground<Answer>(
        this,
        [endpoint, service, from]() -> Answer {
          try {
            web::WebInterface web(endpoint, kWebGuideBounds);
            return {web.ServiceGuide(service, from), {}};
          } catch (const std::exception& e) {
            return {std::nullopt, e.what()};
          }
        },
        [this, done](const Answer& answer) {
          if (!answer.events) Log("The box's web interface gave no guide: " + answer.error);
          done(answer.events);
        });
  };
}

}  // namespace tivolo::app
