// The main window's grid of the Timers table: Channel, Description, Begin, End, Repeated
// ("True"/"False"), the days Monday to Sunday as check boxes titled with the day names,
// Afterevent, Type ("Record" or "Zap", with a red dot while it runs), and Box (the timer's
// state as the box's web interface last reported it; hidden when there is none). It shows each
// timer's state at a glance, sorts by the column whose title is clicked (again for descending, a
// third time back to the begin order) and gives the description the room the window leaves. Enter
// and a double click on a row ask for the timer to be edited, the Delete key for it to be
// deleted; the window decides. Also the day names the day columns and every "ddd" show, taken
// from the user's locale at start-up.
#pragma once

#include <QLocale>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/mem_table.h"
#include "ui/timer_rules.h"
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

// Each timer's state as the box reports it, by record identifier (RecordBuffer::RecordId); a
// timer the box does not hold has none.
using BoxStates = std::unordered_map<int32_t, std::string>;
// The timers that get no tuner at some moment, by record identifier, with what happens then.
using ConflictMarks = std::unordered_map<int32_t, std::string>;
// The mark after "Record" or "Zap" of a timer that gets no tuner.
inline constexpr char kConflictMark[] = "\u26a0";

// The grid's columns; with box_states, "Box" after "Type" shows a timer's state from it; with
// conflicts, "Type" marks the timers that get no tuner.
std::vector<widgets::Column> TimerGridColumns(std::shared_ptr<const BoxStates> box_states = {},
                                              std::shared_ptr<const ConflictMarks> conflicts = {});

class TimerListProxy;
class TimerTableModel;

class TimerGrid : public widgets::RecordGrid {
  Q_OBJECT

 public:
  explicit TimerGrid(QWidget* parent = nullptr);
  // now: the clock settings and the moment the timers' states are taken at; the system's
  // when empty.
  void Bind(store::DataSource& ds_timers, std::function<ClockNow()> now = {});
  TimerTableModel* Timers() const;
  TimerListProxy* View() const;
  // The Box column shown with these states, or hidden: the box has no web interface, or it
  // has not answered yet.
  void ShowBoxStates(BoxStates states);
  void HideBoxStates();
  // Marks the timers that get no tuner (none: the tuners are not known or suffice).
  void ShowConflicts(ConflictMarks marks);
  // Only the timers marked as getting no tuner, or every timer.
  void ShowOnlyConflicts(bool only);

 signals:
  void EditRequested();
  void DeleteRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  std::shared_ptr<BoxStates> box_states_ = std::make_shared<BoxStates>();
  std::shared_ptr<ConflictMarks> conflicts_ = std::make_shared<ConflictMarks>();
};

}  // namespace tivolo::ui
