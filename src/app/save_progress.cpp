#include "app/save_progress.h"

#include "app/background_run.h"

#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

namespace tivolo::app {
namespace {

// Runs on the save's thread; hands everything to the window's thread, in order.
class PostedSaveObserver : public transfer::SaveObserver {
 public:
  PostedSaveObserver(BackgroundRun& run, const SaveRun& save, QPointer<SaveProgressDialog> dialog)
      : run_(run), save_(save), dialog_(std::move(dialog)) {}
  void Progress(transfer::SaveStep step) override {
    run_.Post([this, step] {
      if (dialog_) dialog_->ShowStep(step);
    });
  }
  void Log(const std::string& line) override {
    run_.Post([this, line] {
      if (save_.log) save_.log(line);
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
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(step_);
  setFixedWidth(360);
}

void SaveProgressDialog::ShowStep(transfer::SaveStep step) {
  step_->setText(QString::fromStdString(transfer::SaveStepText(step) + "..."));
}

std::string SaveProgressDialog::StepText() const {
  return step_->text().toStdString();
}

transfer::SaveResult RunSaveWithProgress(QWidget* owner, SaveRun run) {
  QPointer<SaveProgressDialog> dialog = new SaveProgressDialog(owner);
  transfer::SaveToBox* running = nullptr;
  // The application is quitting: the save stops before its next step.
  BackgroundRun background([&running] {
    if (running) running->Stop();
  });
  PostedSaveObserver observer(background, run, dialog);
  transfer::SaveToBox save(std::move(run.input), observer, run.bounds);
  running = &save;
  dialog->show();
  transfer::SaveResult result;
  background.Run([&] { result = save.Run(); });
  delete dialog.data();
  return result;
}

}  // namespace tivolo::app
