// The start-up fetch off the user-interface thread: BoxFetch::Run on a worker thread while a
// small modal dialog shows the file being fetched, "n of m" and a Cancel button. The caller
// waits (its event loop runs meanwhile) until the fetch has ended; log lines reach `log` on
// the user-interface thread in the order the fetch wrote them, all before this returns.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <string>

#include "transfer/box_fetch.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tivolo::app {

class FetchProgressDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FetchProgressDialog(QWidget* owner);
  void ShowProgress(const std::string& file, int index, int count);
  QPushButton* CancelButton() const { return cancel_; }

 signals:
  void CancelRequested();

 protected:
  void reject() override;  // Escape and the close box cancel, like the button

 private:
  QLabel* file_;
  QLabel* count_;
  QProgressBar* bar_;
  QPushButton* cancel_;
};

struct FetchRun {
  transfer::BoxAddress box;
  std::filesystem::path local_dir;
  std::function<void(const std::string&)> log;
  int dialog_delay_ms = 300;  // a quick fetch ends before the dialog would flash up
};

transfer::FetchResult RunFetchWithProgress(QWidget* owner, const FetchRun& run);

}  // namespace tivolo::app
