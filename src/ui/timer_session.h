// What the timer list actions and their dialogs share with the main window: the tables, the
// clock settings, the beep, the messages, the log, the two counters of the run and the
// programme guide. The main window owns it; the dialogs read and write it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/autotimer_file.h"
#include "boxdata/box_tables.h"
#include "platform/clock.h"
#include "platform/now.h"
#include "ui/guide_rows.h"
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

  // The guide and the box's margins once the background fetch has ended (also for a box
  // without a guide); null until then.
  std::shared_ptr<const GuideState> guide;
  // Asks the box's web interface for a channel's programmes not ended at `from` (UTC
  // seconds); `done` runs later on the window's thread, with nothing when the interface did
  // not answer. Empty while the box has no web interface.
  using WebGuideDone = std::function<void(std::optional<std::vector<boxdata::ProgrammeEvent>>)>;
  std::function<void(const std::string& service_reference, int64_t from, WebGuideDone done)>
      web_guide;

  // True while Save && Exit goes through the box's web interface, which takes no timer
  // without a name; may be empty (then names are not required).
  std::function<bool()> names_required;

  // The box's series rules, read with the guide: null until then and when they could not be
  // read; an empty file when the box has none. rules_changed: edited in this run.
  std::shared_ptr<boxdata::AutoTimerFile> rules;
  bool rules_changed = false;
  // The box's rules file as read (nothing: the box had none); a save overwrites only that.
  std::optional<std::string> rules_as_read;

  // Every posted append or edit and every delete of this run; never lowered.
  int change_count = 0;
  // A save the box still needs though nothing changed in this run: a list on the box whose
  // restart, or the check of it, is still to be done. Save && Exit stays enabled for it.
  bool save_owed = false;
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
  bool NamesRequired() const { return names_required && names_required(); }
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
