#include "web/live_apply.h"

#include <algorithm>
#include <numeric>

#include "web/web_error.h"

namespace tivolo::web {

namespace {

using Kind = TimerOperation::Kind;
using Status = OperationStatus;

constexpr int64_t kDay = 86400;

bool SameSlot(const BoxTimer& a, const BoxTimer& b) {
  return a.begin == b.begin && a.end == b.end &&
         ReferenceHead(a.serviceref) == ReferenceHead(b.serviceref);
}

std::string_view Folder(std::string_view dirname) {
  while (dirname.size() > 1 && dirname.back() == '/')
    dirname.remove_suffix(1);
  return dirname;
}

// How far the box moved wanted's begin (0 when not at all), or -1 when the times do not
// fit. A repeated timer may also have been moved on to a later day.
int64_t BeginShift(const BoxTimer& box, const BoxTimer& wanted, int64_t max_shift) {
  int64_t delta = box.begin - wanted.begin;
  int64_t shift = wanted.repeated != 0 ? ((delta % kDay) + kDay) % kDay : delta;
  if (shift < 0 || shift > max_shift) return -1;
  if (box.end - box.begin + shift != wanted.end - wanted.begin) return -1;
  if (wanted.repeated == 0 && box.end != wanted.end) return -1;
  return shift;
}

// Whether the box's timer holds wanted's values, its begin moved by at most max_shift. An
// empty folder in wanted is the box's default, whatever the box names it.
bool Holds(const BoxTimer& box, const BoxTimer& wanted, int64_t max_shift) {
  return ReferenceHead(box.serviceref) == ReferenceHead(wanted.serviceref) &&
         box.name == wanted.name && box.description == wanted.description &&
         box.disabled == wanted.disabled && box.justplay == wanted.justplay &&
         box.afterevent == wanted.afterevent && box.repeated == wanted.repeated &&
         (wanted.dirname.empty() || Folder(box.dirname) == Folder(wanted.dirname)) &&
         TagWords(box.tags) == TagWords(wanted.tags) && BeginShift(box, wanted, max_shift) >= 0;
}

std::string ProgressText(const TimerOperation& op) {
  switch (op.kind) {
    case Kind::kDelete:
      return "Deleting \"" + op.before.name + "\"";
    case Kind::kChange:
      return "Changing \"" + op.after.name + "\"";
    case Kind::kAdd:
      break;
  }
  return "Adding \"" + op.after.name + "\"";
}

class Applier {
 public:
  Applier(WebInterface& box, const std::vector<BoxTimer>& before,
          const std::vector<TimerOperation>& ops, const ApplyProgress& progress)
      : box_(box), before_(before), ops_(ops), progress_(progress), order_(ops.size()) {
    report_.outcomes.resize(ops.size());
    std::iota(order_.begin(), order_.end(), 0);
    std::stable_sort(order_.begin(), order_.end(),
                     [&](size_t a, size_t b) { return ops[a].kind < ops[b].kind; });
  }

  ApplyReport Run();

 private:
  void Step(const std::string& what) {
    if (progress_) progress_(++step_, ops_.size() + 2, what);
  }
  void Send(size_t index);
  void Verify();
  void Check(size_t index, std::vector<bool>& claimed);
  std::optional<size_t> Find(const BoxTimer& wanted, int64_t max_shift,
                             const std::vector<bool>& claimed) const;
  std::vector<TimerConflict> Others(const std::vector<TimerConflict>& conflicts,
                                    const BoxTimer& refused) const;

  WebInterface& box_;
  const std::vector<BoxTimer>& before_;
  const std::vector<TimerOperation>& ops_;
  const ApplyProgress& progress_;
  std::vector<size_t> order_;  // the sending order
  size_t step_ = 0;
  ApplyReport report_;
};

ApplyReport Applier::Run() {
  size_t current = ops_.size();  // the operation under way, if any
  try {
    for (size_t index : order_) {
      current = index;
      Step(ProgressText(ops_[index]));
      Send(index);
    }
    current = ops_.size();
    Step("Writing the box's timer list");
    if (!box_.WriteTimerList().ok) throw WebReplyError("The box did not write its timer list.");
    Step("Reading the box's timer list back");
    report_.box_list = box_.TimerList();
    Verify();
  } catch (const WebError& e) {
    report_.failure = ApplyFailure{e.TypeName(), e.what()};
    if (current < ops_.size()) {
      OperationOutcome& outcome = report_.outcomes[current];
      if (outcome.status == Status::kRefused) {
        // Changing a refused change back failed: the box may hold it all the same.
        outcome.left_in_place = true;
        report_.changes_sent = true;
      } else if (e.ReachedBox()) {
        outcome.status = Status::kUnanswered;
        report_.changes_sent = true;
      }
    }
  }
  return std::move(report_);
}

void Applier::Send(size_t index) {
  const TimerOperation& op = ops_[index];
  OperationOutcome& outcome = report_.outcomes[index];
  CallResult result;
  switch (op.kind) {
    case Kind::kDelete:
      result = box_.DeleteTimer(op.before);
      break;
    case Kind::kChange:
      result = box_.ChangeTimer(op.before, op.after);
      break;
    case Kind::kAdd:
      result = box_.AddTimer(op.after);
      break;
  }
  report_.changes_sent = true;
  outcome.status = result.ok ? Status::kAccepted : Status::kRefused;
  if (result.ok) return;
  outcome.conflicts = Others(result.conflicts, op.kind == Kind::kDelete ? op.before : op.after);
  // The box puts a change in place before it finds the conflict and leaves it there.
  if (op.kind == Kind::kChange && !result.conflicts.empty())
    outcome.left_in_place = !box_.ChangeTimer(op.after, op.before).ok;
}

std::vector<TimerConflict> Applier::Others(const std::vector<TimerConflict>& conflicts,
                                           const BoxTimer& refused) const {
  std::vector<TimerConflict> others;
  for (const TimerConflict& c : conflicts) {
    bool itself = c.begin == refused.begin && c.end == refused.end && c.name == refused.name &&
                  ReferenceHead(c.serviceref) == ReferenceHead(refused.serviceref);
    if (!itself) others.push_back(c);
  }
  return others;
}

void Applier::Verify() {
  const std::vector<BoxTimer>& now = report_.box_list;
  std::vector<bool> claimed(now.size(), false);
  // The timers no operation touches keep their own place on the box.
  for (const BoxTimer& kept : before_) {
    bool touched = std::any_of(ops_.begin(), ops_.end(), [&](const TimerOperation& op) {
      return op.kind != Kind::kAdd && SameSlot(op.before, kept);
    });
    if (touched) continue;
    for (size_t i = 0; i < now.size(); ++i) {
      if (!claimed[i] && SameSlot(now[i], kept)) {
        claimed[i] = true;
        break;
      }
    }
  }
  for (size_t index : order_)
    Check(index, claimed);
  report_.verified = true;
}

void Applier::Check(size_t index, std::vector<bool>& claimed) {
  const TimerOperation& op = ops_[index];
  OperationOutcome& outcome = report_.outcomes[index];
  const std::vector<BoxTimer>& now = report_.box_list;
  // Each other timer can push an add's begin on by one second at most.
  const int64_t max_shift = op.kind == Kind::kAdd ? static_cast<int64_t>(now.size()) : 0;
  if (op.kind == Kind::kDelete) {
    bool still_there = std::any_of(now.begin(), now.end(),
                                   [&](const BoxTimer& t) { return SameSlot(t, op.before); });
    outcome.status = still_there ? Status::kMissing : Status::kApplied;
    return;
  }
  if (outcome.status == Status::kRefused && op.kind == Kind::kChange) {
    // Changed back, the old timer keeps its place; else the refused change has it.
    if (auto kept = Find(outcome.left_in_place ? op.after : op.before, 0, claimed))
      claimed[*kept] = true;
    return;
  }
  if (outcome.status != Status::kAccepted) return;
  std::optional<size_t> found = Find(op.after, max_shift, claimed);
  if (!found) {
    outcome.status = Status::kMissing;
    for (const BoxTimer& t : now) {
      if (ReferenceHead(t.serviceref) == ReferenceHead(op.after.serviceref) &&
          t.begin <= op.after.begin && t.end >= op.after.end) {
        outcome.covered_by = t;
        break;
      }
    }
    return;
  }
  claimed[*found] = true;
  outcome.box_begin = now[*found].begin;
  outcome.status =
      BeginShift(now[*found], op.after, max_shift) == 0 ? Status::kApplied : Status::kShifted;
}

std::optional<size_t> Applier::Find(const BoxTimer& wanted, int64_t max_shift,
                                    const std::vector<bool>& claimed) const {
  const std::vector<BoxTimer>& now = report_.box_list;
  std::optional<size_t> best;
  for (size_t i = 0; i < now.size(); ++i) {
    if (claimed[i] || !Holds(now[i], wanted, max_shift)) continue;
    // The least moved one, so that two adds at one begin each find their own.
    if (!best ||
        BeginShift(now[i], wanted, max_shift) < BeginShift(now[*best], wanted, max_shift)) {
      best = i;
    }
  }
  return best;
}

}  // namespace

std::string_view StatusText(OperationStatus status) {
  switch (status) {
    case Status::kNotSent:
      return "not sent";
    case Status::kUnanswered:
      return "sent, without an answer";
    case Status::kAccepted:
      return "accepted, not checked";
    case Status::kApplied:
      return "applied";
    case Status::kShifted:
      return "applied, its begin moved";
    case Status::kRefused:
      return "refused";
    case Status::kMissing:
      break;
  }
  return "missing after the write";
}

bool ApplyReport::AllApplied() const {
  return verified && std::all_of(outcomes.begin(), outcomes.end(), [](const OperationOutcome& o) {
           return o.status == Status::kApplied || o.status == Status::kShifted;
         });
}

ApplyReport ApplyOperations(WebInterface& box, const std::vector<BoxTimer>& box_list,
                            const std::vector<TimerOperation>& operations,
                            const ApplyProgress& progress) {
  return Applier(box, box_list, operations, progress).Run();
}

}  // namespace tivolo::web
