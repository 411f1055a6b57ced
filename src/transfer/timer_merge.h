// The three-way merge of timer lists before a save: base is the list as read from the box at
// start (kept in memory), theirs the box's list now, ours the list of the tables. The box
// changes its list by itself (one-shot timers end, repeated ones move on, timers are added and
// deleted on the box or through its web interface), so a save must keep what the box did and
// what the user did, and ask only where both touched the same timer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "transfer/listed_timer.h"

namespace tivolo::transfer {

enum class TimerChange { kUnchanged, kAdded, kChanged, kDeleted };

struct MergeConflict {
  std::optional<ListedTimer> base;    // absent when both sides added it
  std::optional<ListedTimer> theirs;  // absent when the box deleted it
  std::optional<ListedTimer> ours;    // absent when the user deleted it
  TimerChange box_did = TimerChange::kUnchanged;
  TimerChange we_did = TimerChange::kUnchanged;
};

struct MergeResult {
  // The list to upload; a conflicting timer as the user has it (or left out when the user
  // deleted it).
  std::vector<ListedTimer> merged;
  std::vector<ListedTimer> kept_from_box;   // added on the box, kept
  std::vector<ListedTimer> taken_from_box;  // changed on the box, the user did not touch it
  std::vector<ListedTimer>
      dropped_on_box;  // ended or deleted on the box, the user did not touch it
  std::vector<MergeConflict> conflicts;
  bool HasConflicts() const { return !conflicts.empty(); }
};

MergeResult MergeTimerLists(const std::vector<ListedTimer>& base,
                            const std::vector<ListedTimer>& theirs,
                            const std::vector<ListedTimer>& ours);

// One line per kind of merge for the log: "kept 1 timer added on the box: ...".
std::vector<std::string> MergeLogLines(const MergeResult& result, const TimerLabeller& labeller);

// The question that names every conflicting timer and what each side did.
std::string ConflictQuestion(const MergeResult& result, const TimerLabeller& labeller);

}  // namespace tivolo::transfer
