// The main window's grid of the Timers table: Channel, Description, Begin, End, Repeated
// ("True"/"False"), the days Monday to Sunday as check boxes titled with the day names, and
// Afterevent. It has no action of its own: a double click or Enter does nothing. Also the day
// names the day columns and every "ddd" show, taken from the user's locale at start-up.
#pragma once

#include <QLocale>
#include <QString>
#include <array>
#include <string>
#include <vector>

#include "store/mem_table.h"
#include "widgets/record_grid.h"

namespace tivolo::ui {

// A day name in the program's form: the first character upper case, then characters 2 to 10
// lower case.
std::string ProgramDayName(const QString& locale_name);

// The locale's abbreviated day names in the program's form, Sunday first, stored as the
// process-wide day names (so every "ddd" shows them) and returned.
std::array<std::string, 7> ApplyDayNames(const QLocale& locale = QLocale::system());

// Gives Timers' day fields d0 (Sunday) to d6 (Saturday) the day names as display labels.
void LabelDayFields(store::MemTable& timers, const std::array<std::string, 7>& names);

std::vector<widgets::Column> TimerGridColumns();

class TimerGrid : public widgets::RecordGrid {
  Q_OBJECT

 public:
  explicit TimerGrid(QWidget* parent = nullptr);
  void Bind(store::DataSource& ds_timers) { RecordGrid::Bind(ds_timers, TimerGridColumns()); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace tivolo::ui
