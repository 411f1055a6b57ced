// Save && Exit off the user-interface thread: SaveToBox::Run (or LiveSave::Run) on a worker
// thread while a small modal dialog names the step running. Questions of the save are asked on the
// user-interface thread through the message service, the worker waiting for the answer; log lines
// reach `log` there in the order the save wrote them, all before this returns.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "transfer/live_save.h"
#include "transfer/save_to_box.h"
#include "widgets/message_service.h"

class QLabel;

namespace tivolo::app {

class SaveProgressDialog : public QDialog {
  Q_OBJECT

 public:
  explicit SaveProgressDialog(QWidget* owner);
  void ShowStep(transfer::SaveStep step);
  void ShowText(const std::string& step);
  std::string StepText() const;

 protected:
  void reject() override {}  // a save half-way cannot be undone: it runs to its end

 private:
  QLabel* step_;
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

}  // namespace tivolo::app
