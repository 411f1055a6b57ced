// The process-wide date and time formats, taken from the user's locale at start-up and shared
// by every window (the store's FormatSettings hold them).
#pragma once

#include <QLocale>
#include <string>

#include "store/date_format.h"

namespace tivolo::widgets {

// Date separator "-", short date "dd-mm-yyyy", short time "hh:nn"; the time separator and
// the long time format stay as the locale has them.
void ApplyDateFormats(const QLocale& locale = QLocale::system());

// A time in the process-wide long time format (the time-zone lines of the log).
std::string LongTimeText(int hour, int minute, int second);

}  // namespace tivolo::widgets
