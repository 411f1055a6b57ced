#include "widgets/timer_grid.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "boxdata/box_tables.h"

namespace tivolo::widgets {

std::vector<Column> TimerGridColumns() {
  namespace f = boxdata::fields;
  std::vector<Column> columns = {
      {f::kZender, "Channel", 20, DisplayKind::kText},
      {f::kName, "Description", 40, DisplayKind::kText},
      {f::kBegin, "Begin", 18, DisplayKind::kText},
      {f::kEnd, "End", 18, DisplayKind::kText},
      {f::kRepeated, "Repeated", 5, DisplayKind::kTrueFalse},
  };
  // Monday to Saturday, then Sunday; titled with the labels the start-up gives the fields.
  for (int day : {1, 2, 3, 4, 5, 6, 0})
    columns.push_back({f::kDays[static_cast<size_t>(day)], "", 2, DisplayKind::kCheckBox});
  columns.push_back({f::kAfterevent, "Afterevent", 10, DisplayKind::kText});
  return columns;
}

TimerGrid::TimerGrid(QWidget* parent) : RecordGrid(parent) {
  setObjectName("TimerGrid");
}

void TimerGrid::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  RecordGrid::keyPressEvent(event);
}

void TimerGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  // The press that began it has chosen the row already; nothing else happens.
  event->accept();
}

}  // namespace tivolo::widgets
