// The process-wide date and time formats and abbreviated day names, taken from the user's
// locale at start-up and shared by every window (the store's FormatSettings hold them).
#pragma once

#include <QDateTime>
#include <QLocale>
#include <array>
#include <string>

#include "store/date_format.h"
#include "store/mem_table.h"

namespace tivolo::widgets {

// Date separator "-", short date "dd-mm-yyyy", short time "hh:nn"; the time separator and
// the long time format stay as the locale has them.
void ApplyDateFormats(const QLocale& locale = QLocale::system());

// A day name in the program's form: the first character upper case, then characters 2 to 10
// lower case.
std::string ProgramDayName(const QString& locale_name);

// The locale's abbreviated day names in the program's form, Sunday first, stored as the
// process-wide day names (so every "ddd" shows them) and returned.
std::array<std::string, 7> ApplyDayNames(const QLocale& locale = QLocale::system());

// Gives Timers' day fields d0 (Sunday) to d6 (Saturday) the day names as display labels.
void LabelDayFields(store::MemTable& timers, const std::array<std::string, 7>& names);

// A time in the process-wide long time format (the time-zone lines of the log).
std::string LongTimeText(int hour, int minute, int second);

// Date-time values to and from Qt's form (local wall time, no zone), for bound controls.
QDateTime ToQDateTime(store::DateTime value);
store::DateTime FromQDateTime(const QDateTime& value);

}  // namespace tivolo::widgets
