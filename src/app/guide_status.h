// The programme guide's part of the main window's status bar: what the background fetch is
// doing (the file, a bar of the bytes received, a Cancel button while it downloads), then how
// old the guide is ("Guide of 07-12-26 23:10") or why there is none. The background read of the
// box's tuners shows its steps and Cancel in a second one, named otherwise.
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
  // What tells one such part from another: the stem of its parts' object names ("Guide" gives
  // "GuideStatus", "GuideStatusText", "GuideProgress", "GuideCancel"), what comes before a
  // step's text, and Cancel's tooltip.
  struct Names {
    const char* stem = "Guide";
    const char* step_prefix = "Guide: ";
    const char* cancel_tip = "Stop fetching the programme guide";
  };

  explicit GuideStatus(QWidget* parent = nullptr);
  GuideStatus(QWidget* parent, const Names& names);

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
  QString step_prefix_;
  QLabel* text_;
  QProgressBar* bar_;
  QToolButton* cancel_;
};

}  // namespace tivolo::app
