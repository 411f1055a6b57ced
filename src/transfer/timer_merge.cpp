#include "transfer/timer_merge.h"

#include <map>

namespace tivolo::transfer {
namespace {

// The event id the timer editor gives a timer it makes without the guide: no event.
constexpr int64_t kNewTimerEit = 98;

// For each timer of `from` the index of its partner in `to`, or -1.
struct Pairing {
  std::vector<int> match;
  std::vector<bool> to_used;
};

// Pairs the unpaired timers whose keys are equal, one with the same content first.
template <typename FromKey, typename ToKey>
void PairByKey(const std::vector<ListedTimer>& from, const std::vector<ListedTimer>& to,
               FromKey from_key, ToKey to_key, Pairing& p) {
  std::multimap<std::string, size_t> by_key;
  for (size_t j = 0; j < to.size(); ++j) {
    if (p.to_used[j]) continue;
    if (std::optional<std::string> key = to_key(to[j])) by_key.emplace(*key, j);
  }
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < from.size(); ++i) {
      if (p.match[i] >= 0) continue;
      const std::optional<std::string> key = from_key(from[i]);
      if (!key) continue;
      auto [lo, hi] = by_key.equal_range(*key);
      for (auto it = lo; it != hi; ++it) {
        const size_t j = it->second;
        if (p.to_used[j] || (pass == 0 && !from[i].SameContent(to[j]))) continue;
        p.match[i] = static_cast<int>(j);
        p.to_used[j] = true;
        break;
      }
    }
  }
}

std::string Service(const ListedTimer& t) {
  return ComparableReference(t.values.serviceref);
}

// A guide event the timer was made for; the box keeps it when it moves the timer's times.
std::optional<std::string> EventKey(const ListedTimer& t) {
  const std::optional<int64_t>& eit = t.values.eit;
  if (!eit || *eit == 0 || *eit == kNewTimerEit) return std::nullopt;
  return Service(t) + (t.Repeated() ? "|R|" : "|S|") + std::to_string(*eit);
}

// One-shot timers on the same service under the same name whose times overlap.
bool Overlap(const ListedTimer& a, const ListedTimer& b) {
  return !a.Repeated() && !b.Repeated() && a.values.name == b.values.name && a.Begin() < b.End() &&
         b.Begin() < a.End() && Service(a) == Service(b);
}

// Pairs the unpaired timers that overlap only each other.
void PairByOverlap(const std::vector<ListedTimer>& from, const std::vector<ListedTimer>& to,
                   Pairing& p) {
  for (size_t i = 0; i < from.size(); ++i) {
    if (p.match[i] >= 0) continue;
    int found = -1, count = 0;
    for (size_t j = 0; j < to.size(); ++j) {
      if (!p.to_used[j] && Overlap(from[i], to[j])) {
        found = static_cast<int>(j);
        ++count;
      }
    }
    if (count != 1) continue;
    int rivals = 0;
    for (size_t k = 0; k < from.size(); ++k)
      rivals += p.match[k] < 0 && Overlap(from[k], to[static_cast<size_t>(found)]) ? 1 : 0;
    if (rivals != 1) continue;
    p.match[i] = found;
    p.to_used[static_cast<size_t>(found)] = true;
  }
}

// `to` may be the user's list, whose timers read from the box carry their identity as read.
Pairing PairTimers(const std::vector<ListedTimer>& from, const std::vector<ListedTimer>& to) {
  Pairing p{std::vector<int>(from.size(), -1), std::vector<bool>(to.size(), false)};
  PairByKey(
      from, to, [](const ListedTimer& t) { return std::optional<std::string>(t.identity); },
      [](const ListedTimer& t) {
        return std::optional<std::string>(t.origin.value_or(t.identity));
      },
      p);
  PairByKey(from, to, EventKey, EventKey, p);
  PairByOverlap(from, to, p);
  return p;
}

const ListedTimer* Partner(const std::vector<ListedTimer>& to, const Pairing& p, size_t i) {
  return p.match[i] >= 0 ? &to[static_cast<size_t>(p.match[i])] : nullptr;
}

// The values merged as one: a repeated timer's begin and end are the times of day of one
// occurrence, which must come from one side.
std::vector<std::vector<std::string_view>> FieldGroups(bool repeated) {
  std::vector<std::vector<std::string_view>> groups;
  if (repeated) groups.push_back({"begin", "end"});
  for (std::string_view field : kTimerFields) {
    if (!repeated || (field != "begin" && field != "end")) groups.push_back({field});
  }
  return groups;
}

bool SameFields(const ListedTimer& a, const ListedTimer& b,
                const std::vector<std::string_view>& fields) {
  for (std::string_view field : fields) {
    auto x = a.content.find(std::string(field));
    auto y = b.content.find(std::string(field));
    const bool x_set = x != a.content.end(), y_set = y != b.content.end();
    if (x_set != y_set || (x_set && x->second != y->second)) return false;
  }
  return true;
}

TimerChange ChangeOf(const ListedTimer& base, const ListedTimer* side) {
  if (!side) return TimerChange::kDeleted;
  for (const auto& group : FieldGroups(base.Repeated())) {
    if (!SameFields(base, *side, group)) return TimerChange::kChanged;
  }
  return TimerChange::kUnchanged;
}

struct FieldMerge {
  ListedTimer merged;
  bool we_changed = false;
  bool box_only = false;          // the box changed a value the user did not
  std::vector<std::string> both;  // the values both set apart
};

// The box's timer with the values the user changed; without a base (both added it) every
// value apart is one both set.
FieldMerge MergeFields(const ListedTimer* base, const ListedTimer& theirs,
                       const ListedTimer& ours) {
  FieldMerge m;
  m.merged = theirs;
  for (const auto& group : FieldGroups((base ? *base : theirs).Repeated())) {
    const bool apart = !SameFields(theirs, ours, group);
    const bool box = base ? !SameFields(*base, theirs, group) : apart;
    const bool we = base ? !SameFields(*base, ours, group) : apart;
    m.we_changed |= we;
    m.box_only |= box && !we;
    if (box && we && apart) m.both.emplace_back(group.size() == 1 ? group[0] : "times");
    if (!we) continue;
    for (std::string_view field : group)
      m.merged.TakeField(ours, field);
  }
  m.merged.Reidentify();
  if (m.we_changed && m.box_only && !m.merged.Repeated() && m.merged.End() <= m.merged.Begin()) {
    // A begin from one side and an end from the other that leave nothing to record.
    m.merged.TakeField(ours, "begin");
    m.merged.TakeField(ours, "end");
    m.merged.Reidentify();
    m.both.emplace_back("times");
  }
  m.merged.origin = theirs.identity;
  return m;
}

std::optional<ListedTimer> Maybe(const ListedTimer* t) {
  return t ? std::optional<ListedTimer>(*t) : std::nullopt;
}

// A timer both lists hold, with its base unless both added it.
void MergePaired(const ListedTimer* base, const ListedTimer& theirs, const ListedTimer& ours,
                 MergeResult& result) {
  FieldMerge m = MergeFields(base, theirs, ours);
  result.merged.push_back(m.merged);
  if (!m.both.empty()) {
    const TimerChange did = base ? TimerChange::kChanged : TimerChange::kAdded;
    result.conflicts.push_back({Maybe(base), theirs, ours, did, did, std::move(m.both)});
  } else if (base && m.box_only) {
    (m.we_changed ? result.combined : result.taken_from_box).push_back(m.merged);
  }
}

// One timer of the base with what each side made of it.
void MergeOne(const ListedTimer& base, const ListedTimer* theirs, const ListedTimer* ours,
              MergeResult& result) {
  if (theirs && ours) {
    MergePaired(&base, *theirs, *ours, result);
    return;
  }
  const TimerChange box_did = ChangeOf(base, theirs);
  const TimerChange we_did = ChangeOf(base, ours);
  if (we_did == TimerChange::kUnchanged) {
    result.dropped_on_box.push_back(base);  // ended or deleted on the box
    return;
  }
  if (box_did == TimerChange::kUnchanged || !(theirs || ours)) return;  // deleted here
  result.conflicts.push_back({base, Maybe(theirs), Maybe(ours), box_did, we_did, {}});
  if (!ours) return;
  ListedTimer kept = *ours;
  kept.origin.reset();  // the box no longer holds it
  result.merged.push_back(std::move(kept));
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

// A value of a timer as the editor names it.
std::string FieldWord(const std::string& field) {
  static const std::map<std::string, std::string> kWords = {{"begin", "begin"},
                                                            {"end", "end"},
                                                            {"times", "times"},
                                                            {"serviceref", "channel"},
                                                            {"repeated", "repeat"},
                                                            {"name", "name"},
                                                            {"description", "description"},
                                                            {"afterevent", "after-event action"},
                                                            {"eit", "guide event"},
                                                            {"disabled", "on/off state"},
                                                            {"justplay", "record/zap choice"}};
  auto it = kWords.find(field);
  return it != kWords.end() ? it->second : field;
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
  const Pairing to_theirs = PairTimers(base, theirs);
  const Pairing to_ours = PairTimers(base, ours);
  MergeResult result;
  for (size_t i = 0; i < base.size(); ++i)
    MergeOne(base[i], Partner(theirs, to_theirs, i), Partner(ours, to_ours, i), result);
  // Added on both sides: the same timer twice is one; values set apart are a conflict.
  std::vector<ListedTimer> added_ours, added_theirs;
  for (size_t j = 0; j < ours.size(); ++j)
    if (!to_ours.to_used[j]) added_ours.push_back(ours[j]);
  for (size_t j = 0; j < theirs.size(); ++j)
    if (!to_theirs.to_used[j]) added_theirs.push_back(theirs[j]);
  const Pairing pair = PairTimers(added_ours, added_theirs);
  for (size_t i = 0; i < added_ours.size(); ++i) {
    if (const ListedTimer* t = Partner(added_theirs, pair, i)) {
      MergePaired(nullptr, *t, added_ours[i], result);
      continue;
    }
    result.merged.push_back(added_ours[i]);
    result.merged.back().origin.reset();
  }
  for (size_t j = 0; j < added_theirs.size(); ++j) {
    if (pair.to_used[j]) continue;
    result.merged.push_back(added_theirs[j]);
    result.merged.back().origin = added_theirs[j].identity;
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
  if (!result.combined.empty())
    lines.push_back("kept the box's changes and this list's together in " +
                    Plural(result.combined.size(), "timer", "timers") + ": " +
                    Labels(result.combined, labeller));
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
    for (size_t i = 0; i < c.fields.size(); ++i)
      text += (i == 0                     ? "; both changed its "
               : i + 1 == c.fields.size() ? " and "
                                          : ", ") +
              FieldWord(c.fields[i]);
  }
  text +=
      "\nYes saves this list's version of these timers and keeps the box's other changes; "
      "No sends nothing.\nSave this list's version?";
  return text;
}

std::string EmptyBoxQuestion(size_t held_at_start) {
  return "The box holds no timers now, though it held " + std::to_string(held_at_start) +
         " at start; its receiver may have set an unreadable list aside (as timers.xml_old) "
         "and started without timers.\nSave this list to the box as it is?";
}

}  // namespace tivolo::transfer
