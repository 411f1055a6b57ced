// The modal dialog in which the user picks the channel of a new timer: the bouquets above,
// the channels of the current bouquet below (the tables' master-detail link). Select fills
// the new Timers record (in insert state) with the channel and the default times and flags.
#pragma once

#include <QDialog>

#include "ui/timer_session.h"

class QPushButton;
class QTimer;

namespace tivolo::widgets {
class RecordGrid;
}

namespace tivolo::ui {

class ChannelPicker : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 224;
  static constexpr int kHeight = 535;
  static constexpr int kOpeningDelayMs = 50;
  static constexpr int kEit = 98;

  ChannelPicker(QWidget* owner, TimerSession& session);
  ~ChannelPicker() override;

  void SetDialogCancelled(bool* dialog_cancelled) { dialog_cancelled_ = dialog_cancelled; }

  widgets::RecordGrid* BouquetGrid() const { return bouquet_grid_; }
  widgets::RecordGrid* ChannelGrid() const { return channel_grid_; }
  QPushButton* ButtonSelect() const { return button_select_; }
  QPushButton* ButtonCancel() const { return button_cancel_; }

  // The upper grid's height for n bouquets: 17 pixels a row for up to six, and the title.
  static int BouquetGridHeight(int bouquets);

  void Timer1Timer();
  void SelectExecute();
  void CancelExecute();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  TimerSession& session_;
  bool* dialog_cancelled_ = nullptr;
  widgets::RecordGrid* bouquet_grid_ = nullptr;
  widgets::RecordGrid* channel_grid_ = nullptr;
  QPushButton* button_select_ = nullptr;
  QPushButton* button_cancel_ = nullptr;
  QTimer* timer1_ = nullptr;
};

}  // namespace tivolo::ui
