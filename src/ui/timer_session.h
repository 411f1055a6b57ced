// What the timer list actions and their two dialogs share with the main window: the tables,
// the clock settings (for "now" in local time), the beep, the log, and the
// two counters of the run. The main window owns it; the dialogs read and write it.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "boxdata/box_tables.h"
#include "platform/clock.h"
#include "platform/now.h"

namespace tivolo::ui {

struct TimerSession {
  boxdata::BoxTables* tables = nullptr;
  const platform::ClockSettings* clock = nullptr;  // UTC rules for the local "now"
  std::function<void()> beep;                      // the system's default beep; may be empty
  std::function<void(std::string_view)> log;  // the hidden log, one line per call; may be empty

  // Changes since start: every posted append or edit and every delete; never lowered.
  int32_t change_count = 0;
  // The end of the timer last saved in the editor during this run; 0 until then.
  platform::DateTime last_saved_end = 0;

  platform::DateTime NowLocal() const {
    return clock ? platform::NowLocal(*clock) : platform::NowLocal(platform::ClockSettings{});
  }
  void Log(std::string_view line) const {
    if (log) log(line);
  }
};

}  // namespace tivolo::ui
