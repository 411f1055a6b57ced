// The timer list as the user sees it: a filter line above the timer grid (Escape there clears
// it) and the grid's order, rows and column widths. The view keeps the table's current record
// on a row it shows, so that Edit, Delete and the on/off switch act on the row the user sees
// selected; it takes the timers' states again as time passes, and keeps its layout (widths
// the user chose, the sort) in the settings it is given.
#pragma once

#include <QSettings>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "ui/timer_grid.h"

class QLineEdit;

namespace tivolo::ui {

class TimerListView : public QWidget {
  Q_OBJECT

 public:
  explicit TimerListView(QWidget* parent = nullptr);

  void Bind(store::DataSource& ds_timers, std::function<ClockNow()> now);
  TimerGrid* Grid() const { return grid_; }
  QLineEdit* Filter() const { return filter_; }

  // Ctrl+L: the filter line with its text selected.
  void FocusFilter();
  // The frame's caption: "Timers: " as always, "Timers: 12 of 140" while a filter hides some.
  QString Caption() const;
  // Whether the table's current record is on a row the grid shows.
  bool CurrentShown() const;
  // A current record the grid does not show (filtered out) gives way to the first row shown.
  // Only in browse state; a pending change is never ended here.
  void Settle();
  // Time has passed: running and ended are taken again (also every half minute by itself).
  void RefreshStates();

  void SaveLayout(QSettings& settings) const;
  void RestoreLayout(QSettings& settings);

 signals:
  // The rows shown or their number changed: the caption may read otherwise.
  void CountsChanged();
  // The filter's text changed (after the rows were filtered).
  void FilterChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QString ColumnKey(int column) const;

  QLineEdit* filter_;
  TimerGrid* grid_;
  QTimer states_timer_;
};

}  // namespace tivolo::ui
