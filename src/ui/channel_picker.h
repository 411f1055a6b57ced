// The modal dialog in which the user picks the channel of a new timer: the bouquets above,
// the channels of the current bouquet below (the tables' master-detail link). Select fills
// the new Timers record (in insert state) with the channel and the default times and flags.
// Once the box's guide is known, the channel's programmes follow below the two lists (the
// dialog grows to hold them), and choosing one fills the timer from the programme instead.
// Tests reach its controls by their object names.
#pragma once

#include "ui/fixed_dialog.h"
#include "ui/timer_session.h"

class QTimer;

namespace tivolo::widgets {
class RecordGrid;
}

namespace tivolo::ui {

class ChannelPicker : public FixedDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 224;
  static constexpr int kHeight = 535;
  static constexpr int kOpeningDelayMs = 50;
  // The bouquet grid shows up to this many rows without scrolling.
  static constexpr int kMaxBouquetRows = 6;
  // The size with the guide below the lists.
  static constexpr int kGuideWidth = 460;
  static constexpr int kGuideHeight = kHeight + 260;

  ChannelPicker(QWidget* owner, TimerSession& session);
  ~ChannelPicker() override;

  void SetDialogCancelled(bool* dialog_cancelled) { dialog_cancelled_ = dialog_cancelled; }

  void Timer1Timer();
  void SelectExecute();
  void CancelExecute();
  // A programme of the guide was chosen: its timer on the channel its programmes belong to.
  void EventChosen(const std::string& zender, const std::string& service,
                   const boxdata::TimerFromEvent& timer);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The upper grid's height for n bouquets: every row of up to six, the title and the frame,
  // in the grid's own font.
  int BouquetGridHeight(int bouquets) const;

  TimerSession& session_;
  bool* dialog_cancelled_ = nullptr;
  widgets::RecordGrid* bouquet_grid_ = nullptr;
  widgets::RecordGrid* channel_grid_ = nullptr;
  QTimer* opening_timer_ = nullptr;
};

}  // namespace tivolo::ui
