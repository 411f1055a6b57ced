#include "transfer/timer_merge.h"

#include <map>

namespace tivolo::transfer {
namespace {

// Pairs each timer of `from` with an unmatched timer of `to` of the same identity (or, for
// a timer of the user's list read from the box, of the same identity as read), one with the
// same content first. match[i] is the index in `to`, or -1.
std::vector<int> MatchTimers(const std::vector<ListedTimer>& from,
                             const std::vector<ListedTimer>& to, std::vector<bool>& to_used) {
  std::multimap<std::string, size_t> by_identity;
  for (size_t j = 0; j < to.size(); ++j)
    by_identity.emplace(to[j].origin.value_or(to[j].identity), j);
  std::vector<int> match(from.size(), -1);
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < from.size(); ++i) {
      if (match[i] >= 0) continue;
      auto [lo, hi] = by_identity.equal_range(from[i].identity);
      for (auto it = lo; it != hi; ++it) {
        const size_t j = it->second;
        if (to_used[j] || (pass == 0 && !from[i].SameContent(to[j]))) continue;
        match[i] = static_cast<int>(j);
        to_used[j] = true;
        break;
      }
    }
  }
  return match;
}

TimerChange ChangeOf(const ListedTimer& base, const ListedTimer* side) {
  if (!side) return TimerChange::kDeleted;
  return base.SameContent(*side) ? TimerChange::kUnchanged : TimerChange::kChanged;
}

std::optional<ListedTimer> Maybe(const ListedTimer* t) {
  return t ? std::optional<ListedTimer>(*t) : std::nullopt;
}

// One timer of the base with what each side made of it.
void MergeOne(const ListedTimer& base, const ListedTimer* theirs, const ListedTimer* ours,
              MergeResult& result) {
  const TimerChange box_did = ChangeOf(base, theirs);
  const TimerChange we_did = ChangeOf(base, ours);
  if (we_did == TimerChange::kUnchanged) {
    if (box_did == TimerChange::kDeleted) {
      result.dropped_on_box.push_back(base);
    } else {
      // The box's own, which for a repeated timer holds its next occurrence.
      result.merged.push_back(*theirs);
      if (box_did == TimerChange::kChanged) result.taken_from_box.push_back(*theirs);
    }
    return;
  }
  if (box_did == TimerChange::kUnchanged ||
      (box_did == TimerChange::kDeleted && we_did == TimerChange::kDeleted) ||
      (box_did == TimerChange::kChanged && we_did == TimerChange::kChanged &&
       theirs->SameContent(*ours))) {
    if (ours) result.merged.push_back(*ours);
    return;
  }
  result.conflicts.push_back({base, Maybe(theirs), Maybe(ours), box_did, we_did});
  if (ours) result.merged.push_back(*ours);
}

std::string Plural(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Labels(const std::vector<ListedTimer>& timers, const TimerLabeller& labeller) {
  std::string out;
  for (const ListedTimer& t : timers) {
    if (!out.empty()) out += "; ";
    out += labeller.Label(t);
  }
  return out;
}

const char* Did(TimerChange change) {
  switch (change) {
    case TimerChange::kAdded:
      return "added";
    case TimerChange::kChanged:
      return "changed";
    case TimerChange::kDeleted:
      return "deleted";
    case TimerChange::kUnchanged:
      break;
  }
  return "kept";
}

}  // namespace

MergeResult MergeTimerLists(const std::vector<ListedTimer>& base,
                            const std::vector<ListedTimer>& theirs,
                            const std::vector<ListedTimer>& ours) {
  std::vector<bool> theirs_used(theirs.size(), false);
  std::vector<bool> ours_used(ours.size(), false);
  const std::vector<int> to_theirs = MatchTimers(base, theirs, theirs_used);
  const std::vector<int> to_ours = MatchTimers(base, ours, ours_used);
  MergeResult result;
  for (size_t i = 0; i < base.size(); ++i) {
    const ListedTimer* t = to_theirs[i] >= 0 ? &theirs[static_cast<size_t>(to_theirs[i])] : nullptr;
    const ListedTimer* o = to_ours[i] >= 0 ? &ours[static_cast<size_t>(to_ours[i])] : nullptr;
    MergeOne(base[i], t, o, result);
  }
  // Added on both sides: the same timer twice is one; the same identity with other content is
  // a conflict.
  std::vector<ListedTimer> added_ours, added_theirs;
  for (size_t j = 0; j < ours.size(); ++j)
    if (!ours_used[j]) added_ours.push_back(ours[j]);
  for (size_t j = 0; j < theirs.size(); ++j)
    if (!theirs_used[j]) added_theirs.push_back(theirs[j]);
  std::vector<bool> theirs_paired(added_theirs.size(), false);
  const std::vector<int> pair = MatchTimers(added_ours, added_theirs, theirs_paired);
  for (size_t i = 0; i < added_ours.size(); ++i) {
    result.merged.push_back(added_ours[i]);
    if (pair[i] < 0) continue;
    const ListedTimer& t = added_theirs[static_cast<size_t>(pair[i])];
    if (!t.SameContent(added_ours[i]))
      result.conflicts.push_back(
          {std::nullopt, t, added_ours[i], TimerChange::kAdded, TimerChange::kAdded});
  }
  for (size_t j = 0; j < added_theirs.size(); ++j) {
    if (theirs_paired[j]) continue;
    result.merged.push_back(added_theirs[j]);
    result.kept_from_box.push_back(added_theirs[j]);
  }
  return result;
}

std::vector<std::string> MergeLogLines(const MergeResult& result, const TimerLabeller& labeller) {
  std::vector<std::string> lines;
  if (!result.kept_from_box.empty())
    lines.push_back("kept " + Plural(result.kept_from_box.size(), "timer", "timers") +
                    " added on the box: " + Labels(result.kept_from_box, labeller));
  if (!result.taken_from_box.empty())
    lines.push_back("kept " + Plural(result.taken_from_box.size(), "timer", "timers") +
                    " as changed on the box: " + Labels(result.taken_from_box, labeller));
  if (!result.dropped_on_box.empty())
    lines.push_back(
        "left out " + Plural(result.dropped_on_box.size(), "timer", "timers") +
        " that ended or was deleted on the box: " + Labels(result.dropped_on_box, labeller));
  return lines;
}

std::string ConflictQuestion(const MergeResult& result, const TimerLabeller& labeller) {
  std::string text = "The timer list on the box has changed since it was read, and " +
                     Plural(result.conflicts.size(), "timer was", "timers were") +
                     " changed both on the box and here:";
  for (const MergeConflict& c : result.conflicts) {
    const ListedTimer& shown = c.ours ? *c.ours : c.theirs ? *c.theirs : *c.base;
    text += "\n- " + labeller.Label(shown) + ": the box " + Did(c.box_did) + " it, this list " +
            Did(c.we_did) + " it";
    if (c.box_did == TimerChange::kChanged || c.box_did == TimerChange::kAdded)
      text += " (on the box: " + labeller.Label(*c.theirs) + ")";
  }
  text +=
      "\nYes saves this list's version of these timers and keeps the box's other changes; "
      "No sends nothing.\nSave this list's version?";
  return text;
}

}  // namespace tivolo::transfer
