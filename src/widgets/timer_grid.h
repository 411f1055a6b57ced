// The main window's grid of the Timers table: Channel, Description, Begin, End, Repeated
// ("True"/"False"), the days Monday to Sunday as check boxes titled with the day names, and
// Afterevent. It has no action of its own: a double click or Enter does nothing.
#pragma once

#include <vector>

#include "widgets/record_grid.h"

namespace tivolo::widgets {

std::vector<Column> TimerGridColumns();

class TimerGrid : public RecordGrid {
  Q_OBJECT

 public:
  explicit TimerGrid(QWidget* parent = nullptr);
  void Bind(store::DataSource& ds_timers) { RecordGrid::Bind(ds_timers, TimerGridColumns()); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace tivolo::widgets
