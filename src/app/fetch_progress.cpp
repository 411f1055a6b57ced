#include "app/fetch_progress.h"

#include "app/background_run.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tivolo::app {
namespace {

// Runs on the fetch's thread; hands everything to the window's thread, in order.
class PostedObserver : public transfer::FetchObserver {
 public:
  PostedObserver(BackgroundRun& run, std::function<void(const std::string&)> log,
                 QPointer<FetchProgressDialog> dialog)
      : run_(run), log_(std::move(log)), dialog_(std::move(dialog)) {}
  void Log(const std::string& line) override {
    run_.Post([this, line] {
      if (log_) log_(line);
    });
  }
  void Progress(const std::string& file, int index, int count) override {
    run_.Post([this, file, index, count] {
      if (dialog_) dialog_->ShowProgress(file, index, count);
    });
  }

 private:
  BackgroundRun& run_;
  std::function<void(const std::string&)> log_;
  QPointer<FetchProgressDialog> dialog_;
};

}  // namespace

FetchProgressDialog::FetchProgressDialog(QWidget* owner) : QDialog(owner) {
  setWindowTitle("Fetching the box's files");
  setWindowModality(Qt::ApplicationModal);
  file_ = new QLabel(this);
  count_ = new QLabel(this);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  cancel_ = new QPushButton("&Cancel", this);
  cancel_->setAutoDefault(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(file_);
  layout->addWidget(count_);
  layout->addWidget(bar_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  setFixedWidth(360);
  connect(cancel_, &QPushButton::clicked, this, &FetchProgressDialog::reject);
  ShowProgress("", 0, 0);
}

void FetchProgressDialog::ShowProgress(const std::string& file, int index, int count) {
  file_->setText(file.empty() ? QStringLiteral("Listing the box's files...")
                              : QString::fromStdString(file));
  count_->setText(count > 0 ? QStringLiteral("%1 of %2").arg(index).arg(count) : QString());
  bar_->setRange(0, std::max(count, 1));
  bar_->setValue(std::max(index - 1, 0));
}

void FetchProgressDialog::reject() {
  cancel_->setEnabled(false);
  file_->setText("Cancelling...");
  emit CancelRequested();
}

transfer::FetchResult RunFetchWithProgress(QWidget* owner, const FetchRun& run) {
  QPointer<FetchProgressDialog> dialog = new FetchProgressDialog(owner);
  transfer::BoxFetch* running = nullptr;
  BackgroundRun background([&running] {
    if (running) running->Cancel();
  });
  PostedObserver observer(background, run.log, dialog);
  transfer::BoxFetch fetch(run.box, run.local_dir, observer);
  running = &fetch;
  QObject::connect(dialog, &FetchProgressDialog::CancelRequested, dialog,
                   [&fetch] { fetch.Cancel(); });
  QTimer delay;
  delay.setSingleShot(true);
  QObject::connect(&delay, &QTimer::timeout, dialog, [dialog] { dialog->show(); });
  delay.start(run.dialog_delay_ms);

  transfer::FetchResult result;
  background.Run([&] { result = fetch.Run(); });
  delay.stop();
  delete dialog.data();
  return result;
}

}  // namespace tivolo::app
