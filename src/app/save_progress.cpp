#include "app/save_progress.h"

#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>
#include <thread>

namespace tivolo::app {
namespace {

// Runs on the save's thread; hands everything to the dialog's thread, in order.
class QueuedSaveObserver : public transfer::SaveObserver {
 public:
  QueuedSaveObserver(QObject* ui, const SaveRun& run, QPointer<SaveProgressDialog> dialog)
      : ui_(ui), run_(run), dialog_(std::move(dialog)) {}
  void Progress(transfer::SaveStep step) override {
    QMetaObject::invokeMethod(
        ui_,
        [this, step] {
          if (dialog_) dialog_->ShowStep(step);
        },
        Qt::QueuedConnection);
  }
  void Log(const std::string& line) override {
    QMetaObject::invokeMethod(
        ui_,
        [this, line] {
          if (run_.log) run_.log(line);
        },
        Qt::QueuedConnection);
  }
  bool Ask(const std::string& question) override {
    bool yes = false;
    // Queued behind the log lines and steps before it; the worker waits for the answer.
    QMetaObject::invokeMethod(
        ui_, [this, &yes, question] { yes = run_.messages && run_.messages->Question(question); },
        Qt::BlockingQueuedConnection);
    return yes;
  }

 private:
  QObject* ui_;
  const SaveRun& run_;
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
  QEventLoop loop;
  QPointer<SaveProgressDialog> dialog = new SaveProgressDialog(owner);
  QueuedSaveObserver observer(&loop, run, dialog);
  transfer::SaveToBox save(std::move(run.input), observer, run.bounds);
  dialog->show();

  transfer::SaveResult result;
  std::thread worker([&] {
    result = save.Run();
    // Queued after every log line, so the loop ends with all of them delivered.
    QMetaObject::invokeMethod(
        &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  delete dialog.data();
  return result;
}

}  // namespace tivolo::app
