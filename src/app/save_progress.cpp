#include "app/save_progress.h"

#include "app/background_run.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

namespace tivolo::app {
namespace {

// Runs on the save's thread; hands everything to the window's thread, in order.
class PostedSaveObserver : public transfer::SaveObserver, public transfer::LiveSaveObserver {
 public:
  PostedSaveObserver(BackgroundRun& run, const SaveRun& save, QPointer<SaveProgressDialog> dialog)
      : run_(run), save_(save), dialog_(std::move(dialog)) {}
  void Progress(transfer::SaveStep step) override {
    run_.Post([this, step] {
      if (dialog_) dialog_->ShowStep(step);
    });
  }
  void Progress(const std::string& step) override {
    run_.Post([this, step] {
      if (dialog_) dialog_->ShowText(step);
    });
  }
  void Log(const std::string& line) override {
    run_.Post([this, line] {
      if (save_.log) save_.log(line);
    });
  }
  void ChangesBegin() override {
    run_.Post([this] {
      if (dialog_) dialog_->ChangesBegin();
    });
  }
  bool Ask(const std::string& question) override {
    // Queued behind the log lines and steps before it; the save waits for the answer.
    return run_.Ask(
        [this, question] { return save_.messages && save_.messages->Question(question); });
  }

 private:
  BackgroundRun& run_;
  const SaveRun& save_;
  QPointer<SaveProgressDialog> dialog_;
};

}  // namespace

SaveProgressDialog::SaveProgressDialog(QWidget* owner) : QDialog(owner) {
  setWindowTitle("Saving to the box");
  setWindowModality(Qt::ApplicationModal);
  setWindowFlag(Qt::WindowCloseButtonHint, false);
  step_ = new QLabel(this);
  cancel_ = new QPushButton("&Cancel", this);
  cancel_->setObjectName("SaveCancel");
  cancel_->setToolTip("Stop the save; nothing has been sent to the box yet");
  cancel_->setAutoDefault(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(step_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  setFixedWidth(360);
  connect(cancel_, &QPushButton::clicked, this, &SaveProgressDialog::CancelRequested);
}

void SaveProgressDialog::ChangesBegin() {
  cancel_->setEnabled(false);
  cancel_->setToolTip("Changes are being sent to the box: the save runs to its end");
}

void SaveProgressDialog::CancelAnswered(bool cancelled) {
  if (!cancelled) {
    ChangesBegin();
    return;
  }
  cancel_->setEnabled(false);
  cancelling_ = true;
  step_->setText("Cancelling...");
}

void SaveProgressDialog::ShowStep(transfer::SaveStep step) {
  ShowText(transfer::SaveStepText(step));
}

void SaveProgressDialog::ShowText(const std::string& step) {
  // "Cancelling..." stands until the save has stopped.
  if (cancelling_) return;
  step_->setText(QString::fromStdString(step + "..."));
}

std::string SaveProgressDialog::StepText() const {
  return step_->text().toStdString();
}

namespace {

// Runs the save that make builds for the observer (a SaveToBox or a LiveSave) on a thread of
// its own under the progress dialog; the application quitting meanwhile stops it.
template <class Make>
auto RunUnderDialog(QWidget* owner, const SaveRun& run, Make make) {
  QPointer<SaveProgressDialog> dialog = new SaveProgressDialog(owner);
  std::function<void()> stop;
  BackgroundRun background([&stop] {
    if (stop) stop();
  });
  PostedSaveObserver observer(background, run, dialog);
  auto save = make(observer);
  stop = [&save] { save->Stop(); };
  QObject::connect(dialog, &SaveProgressDialog::CancelRequested, dialog,
                   [&save, dialog] { dialog->CancelAnswered(save->Cancel()); });
  dialog->show();
  decltype(save->Run()) result;
  background.Run([&] { result = save->Run(); });
  delete dialog.data();
  return result;
}

}  // namespace

transfer::SaveResult RunSaveWithProgress(QWidget* owner, SaveRun run) {
  return RunUnderDialog(owner, run, [&run](PostedSaveObserver& observer) {
    return std::make_unique<transfer::SaveToBox>(std::move(run.input), observer, run.bounds);
  });
}

transfer::LiveSaveResult RunLiveSaveWithProgress(QWidget* owner, LiveRun run) {
  return RunUnderDialog(owner, run.save, [&run](PostedSaveObserver& observer) {
    auto save = std::make_unique<transfer::LiveSave>(std::move(run.save.input), run.endpoint,
                                                     observer, run.save.bounds);
    if (run.detect_first) save->DetectFirst();
    return save;
  });
}

transfer::RulesUploadResult RunRulesUploadWithProgress(
    QWidget* owner, const RulesLog& log,
    const std::function<transfer::RulesUploadResult(const RulesLog&)>& upload) {
  QPointer<SaveProgressDialog> dialog = new SaveProgressDialog(owner);
  dialog->ShowText("Saving the series rules to the box");
  dialog->CancelButton()->hide();
  dialog->show();
  BackgroundRun background;
  transfer::RulesUploadResult result;
  background.Run([&] {
    result = upload([&background, &log](const std::string& line) {
      background.Post([&log, line] {
        if (log) log(line);
      });
    });
  });
  delete dialog.data();
  return result;
}

}  // namespace tivolo::app
