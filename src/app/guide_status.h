// The programme guide's part of the main window's status bar: what the background fetch is
// doing (the file, a bar of the bytes received, a Cancel button while it downloads), then how
// old the guide is ("Guide of 07-12-26 23:10") or why there is none.
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>

class QLabel;
class QProgressBar;
class QToolButton;

namespace tivolo::app {

class GuideStatus : public QWidget {
  Q_OBJECT

 public:
  explicit GuideStatus(QWidget* parent = nullptr);

  // The fetch is at step index of count, bringing file; Cancel is offered.
  void ShowStep(const std::string& file, int index, int count);
  // Bytes of the guide received so far, of total.
  void ShowReceived(int64_t bytes, int64_t total);
  // The fetch has ended; the copy is being read (nothing to cancel any more).
  void ShowReading();
  // The outcome, for the rest of the run.
  void ShowResult(const std::string& text);

  std::string Text() const;
  bool CancelOffered() const;
  QToolButton* CancelButton() const { return cancel_; }

 signals:
  void CancelRequested();

 private:
  QLabel* text_;
  QProgressBar* bar_;
  QToolButton* cancel_;
};

}  // namespace tivolo::app
