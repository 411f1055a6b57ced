// Save && Exit off the user-interface thread: SaveToBox::Run (or LiveSave::Run) on a worker
// thread while a small modal dialog names the step running. Its Cancel stops the save with
// nothing sent, until the first change goes to the box; from then on it is disabled, since a
// save half-way cannot be undone. Questions of the save are asked on the
// user-interface thread through the message service, the worker waiting for the answer; log lines
// reach `log` there in the order the save wrote them, all before this returns.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "transfer/live_save.h"
#include "transfer/rules_upload.h"
#include "transfer/save_to_box.h"
#include "widgets/message_service.h"

class QLabel;
class QPushButton;

namespace tivolo::app {

class SaveProgressDialog : public QDialog {
  Q_OBJECT

 public:
  explicit SaveProgressDialog(QWidget* owner);
  void ShowStep(transfer::SaveStep step);
  void ShowText(const std::string& step);
  std::string StepText() const;
  // The first change goes to the box: Cancel can no longer be honoured.
  void ChangesBegin();
  // The save took the Cancel, or refused it (cancelled false: a change was already sent).
  void CancelAnswered(bool cancelled);
  QPushButton* CancelButton() const { return cancel_; }

 signals:
  void CancelRequested();

 protected:
  // Escape and the close box do nothing: only the button cancels, and only before a change.
  void reject() override {}

 private:
  QLabel* step_;
  QPushButton* cancel_;
  bool cancelling_ = false;
};

struct SaveRun {
  transfer::SaveInput input;
  std::function<void(const std::string&)> log;
  widgets::MessageService* messages = nullptr;
  transfer::BoxBounds bounds;
};

transfer::SaveResult RunSaveWithProgress(QWidget* owner, SaveRun run);

struct LiveRun {
  SaveRun save;
  web::HttpEndpoint endpoint;
  bool detect_first = false;  // the interface was not known yet: ask it first
};

transfer::LiveSaveResult RunLiveSaveWithProgress(QWidget* owner, LiveRun run);

// The series rules' store off the window's thread under the same dialog, without its Cancel:
// one short store, check and rename. upload gets a log that hands its lines to `log`.
using RulesLog = std::function<void(const std::string&)>;
transfer::RulesUploadResult RunRulesUploadWithProgress(
    QWidget* owner, const RulesLog& log,
    const std::function<transfer::RulesUploadResult(const RulesLog&)>& upload);

}  // namespace tivolo::app
