// Applying a set of timer changes to the running receiver through its web interface, and
// making sure they are there.
//
// The operations are sent deletes first, then changes, then adds (freeing tuners and begin
// times before they are taken again), one call each. Then the receiver is made to write its
// list to its file, because it does not after a change, and the list is read back and each
// operation checked against it, since the box's answers are not to be trusted alone:
// - an add whose begin equals that of another timer is moved one second later (or more):
//   reported as kShifted, with the begin the box holds;
// - an add that lies within another timer on the same channel is dropped while the box
//   answers "added": reported as kMissing, with that timer as covered_by;
// - a change that fails the box's conflict check has been put in place all the same: it is
//   changed back at once and reported as kRefused; when changing it back fails, it is still
//   kRefused, with left_in_place set: the box holds the refused change.
// The answers' message texts are never read (they are translated); only "result" and
// "conflicts".
//
// A failure of the interface stops the sequence: the report names it, and changes_sent
// says whether anything may have reached the box. Before that, another route may still be
// taken; after it, the box's list must be read again before anything else is done.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "web/box_timer.h"
#include "web/web_interface.h"

namespace tivolo::web {

struct TimerOperation {
  enum class Kind { kDelete, kChange, kAdd };
  Kind kind = Kind::kAdd;
  BoxTimer before;  // kDelete, kChange: the timer as the box holds it
  BoxTimer after;   // kChange, kAdd: the timer as it is to be
};

enum class OperationStatus {
  kNotSent,     // the sequence stopped before it
  kUnanswered,  // sent without a usable answer: the box may or may not have carried it out
  kAccepted,    // the box said yes, and the sequence stopped before it could be checked
  kApplied,     // the box holds it as meant
  kShifted,     // added, with the begin the box moved it to (box_begin)
  kRefused,     // the box said no; a refused change has been changed back
  kMissing,     // the box said yes, yet after writing it lacks the timer (or a deleted one
                // is still there)
};

// For the log: "applied", "refused", "missing after the write", ...
std::string_view StatusText(OperationStatus status);

struct OperationOutcome {
  OperationStatus status = OperationStatus::kNotSent;
  int64_t box_begin = 0;                 // kShifted
  std::vector<TimerConflict> conflicts;  // kRefused for a conflict: the timers in the way
  std::optional<BoxTimer> covered_by;    // kMissing add: the box's timer that spans it
  // kRefused change: it could not be changed back, so the box may hold it all the same,
  // in conflict with the timers named.
  bool left_in_place = false;
};

struct ApplyFailure {
  std::string type_name;  // of the WebError, such as "WebTimeoutError"
  std::string message;
};

struct ApplyReport {
  std::vector<OperationOutcome> outcomes;  // one per operation, in the order given
  bool changes_sent = false;  // some call that changes the list may have reached the box
  bool verified = false;      // written, read back and every operation checked
  std::optional<ApplyFailure> failure;
  std::vector<BoxTimer> box_list;  // as read back, when verified

  // Verified, and every operation applied (a shifted begin included).
  bool AllApplied() const;
};

// Called before each call: step counts from 1 to steps (the operations, the write and the
// read-back); what is a line for a progress dialog, such as "Adding \"Journaal\"". It must
// not throw: the report of what was sent would be lost.
using ApplyProgress = std::function<void(size_t step, size_t steps, const std::string& what)>;

// box_list is the list the operations were made from, as the box gave it just before: its
// timers that no operation touches are matched first, so that an add the box dropped as a
// double of one of them is not taken for applied.
ApplyReport ApplyOperations(WebInterface& box, const std::vector<BoxTimer>& box_list,
                            const std::vector<TimerOperation>& operations,
                            const ApplyProgress& progress = nullptr);

}  // namespace tivolo::web
