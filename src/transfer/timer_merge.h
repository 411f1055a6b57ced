// The three-way merge of timer lists before a save: base is the list as read from the box at
// start (kept in memory), theirs the box's list now, ours the list of the tables. The box
// changes its list by itself (one-shot timers end, repeated ones move on, timers are added and
// deleted on the box or through its web interface, a guide update moves a timer's begin or
// end), so a save must keep what the box did and what the user did, and ask only where both
// changed the same value of the same timer.
//
// A timer of one list is the same timer in another when, in this order: it has the same
// identity (for the user's list: the identity it was read with); it has the same service and
// the same event id from the guide; it is the only one on the same service with the same name
// whose time overlaps. Values are merged one by one; the attributes and log lines the receiver
// adds are always the box's and never count as a change.
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
  // When both changed it: the values both sides set apart ("name", "end", ...).
  std::vector<std::string> fields;
};

struct MergeResult {
  // The list to upload; a conflicting timer with the user's values where both set one (or left
  // out when the user deleted it). A timer the box holds carries the box's identity of it as
  // `origin`, so that a live save changes the timer as the box holds it now.
  std::vector<ListedTimer> merged;
  std::vector<ListedTimer> kept_from_box;   // added on the box, kept
  std::vector<ListedTimer> taken_from_box;  // changed on the box, the user did not touch it
  std::vector<ListedTimer> combined;        // changed on both sides in different values: both kept
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

// The question before a save to a box that holds no timers now, though it held
// held_at_start: the receiver sets an unreadable list aside and starts with none, and merging
// with that would drop every timer the user did not touch.
std::string EmptyBoxQuestion(size_t held_at_start);

}  // namespace tivolo::transfer
