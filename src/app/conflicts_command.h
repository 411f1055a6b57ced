// `tivolo --conflicts`: the box read as the start-up reads it (its files by FTP, the settings
// file, its tuners from the web interface's about reply or the socket list over telnet), the
// conflicts of its timer list checked, and one line printed per conflict, for a scheduled job
// that mails what it prints. A box that cannot be reached leaves the copies of the last
// reading, with a note on standard error. Qt-free and without a window.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "plan/conflict_model.h"
#include "platform/clock.h"
#include "transfer/box_address.h"

namespace tivolo::app {

// The exit codes; 2 is the command line's own (a usage error).
inline constexpr int kNoConflicts = 0;
inline constexpr int kCannotCheck = 1;  // no configuration, nothing ever read, tuners unknown
inline constexpr int kConflictsFound = 3;

struct ConflictsOutput {
  int exit_code = kCannotCheck;
  std::string out;  // standard output: one line per conflict
  std::string err;  // standard error: notes and what went wrong, one a line
};

// The lines of the conflicts found (CommandLineLine, each ended by "\n") and the exit code;
// nothing on standard error.
ConflictsOutput ConflictLines(const plan::ConflictModel& model, const plan::ConflictReport& report,
                              const platform::ClockSettings& clock);

struct ConflictsRun {
  std::string config_file;
  std::string local_dir;  // the copies of the box's files, with a trailing "/"
  // False: the copies alone are read and the box is not asked (another program holds the
  // profile and may be writing them).
  bool ask_box = true;
  transfer::BoxBounds bounds{};
  std::chrono::milliseconds tuner_bound{10000};
  int64_t now = 0;  // seconds since 1970 UTC; the system's clock when 0
};

// The whole command; never throws (an error is a message and kCannotCheck).
ConflictsOutput RunConflictsCommand(const ConflictsRun& run);

}  // namespace tivolo::app
