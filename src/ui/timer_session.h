// What the timer list actions and their two dialogs share with the main window: the tables,
// the clock settings, the beep, the messages, the log, and the two counters of the run. The
// main window owns it; the dialogs read and write it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "boxdata/box_tables.h"
#include "platform/clock.h"
#include "platform/now.h"
#include "ui/timer_rules.h"

namespace tivolo::ui {

struct TimerSession {
  boxdata::BoxTables* tables = nullptr;
  // The settings that turn UTC into local time, as they are now (they change with the
  // configuration); the zone's rules of the system when empty.
  std::function<platform::ClockSettings()> clock;
  std::function<void()> beep;                       // the system's default beep; may be empty
  std::function<void(const std::string&)> message;  // a message box with OK; may be empty
  std::function<void(std::string_view)> log;  // the hidden log, one line per call; may be empty
  // Runs a handler of the dialogs and shows an error that leaves it, as the window does for
  // its own handlers; without it errors pass on to the caller.
  std::function<void(const std::function<void()>&)> guarded;

  // Every posted append or edit and every delete of this run; never lowered.
  int change_count = 0;
  // The end of the timer last saved in the editor during this run; 0 until then.
  platform::DateTime last_saved_end = 0;

  ClockNow Now() const { return {clock ? clock() : platform::ClockSettings{}, platform::NowUtc()}; }
  void Guard(const std::function<void()>& handler) const {
    if (guarded) {
      guarded(handler);
    } else {
      handler();
    }
  }
  void Beep() const {
    if (beep) beep();
  }
  void Message(const std::string& text) const {
    if (message) message(text);
  }
  void Log(std::string_view line) const {
    if (log) log(line);
  }
};

}  // namespace tivolo::ui
