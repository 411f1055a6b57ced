// Which recordings run on the box right now. Restarting the receiver cuts a running recording
// into two files with a gap (the receiver keeps no state: a timer whose begin is past and end
// ahead starts again after the restart), so a save that restarts it asks first.
#pragma once

#include <string>
#include <vector>

#include "transfer/listed_timer.h"

namespace tivolo::transfer {

struct RunningRecording {
  ListedTimer timer;
  int64_t end = 0;  // of the occurrence running now, seconds since 1970 UTC
};

// The enabled recording timers (not zap-only, not disabled) that run at `now` (UTC seconds).
// A repeated timer runs when one of its days' occurrences does: its times of day on a day of
// its mask, in local time.
std::vector<RunningRecording> RunningRecordings(const std::vector<ListedTimer>& timers, int64_t now,
                                                const platform::ClockSettings& clock);

// "A recording is running on the box: <channel> <name> until <hh:nn>. Restarting the receiver
// now cuts it into two files. Save and restart anyway?"
std::string RunningRecordingQuestion(const std::vector<RunningRecording>& running,
                                     const TimerLabeller& labeller);

}  // namespace tivolo::transfer
