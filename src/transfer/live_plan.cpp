#include "transfer/live_plan.h"

#include <algorithm>

#include "boxdata/xml_text.h"

namespace tivolo::transfer {
namespace {

using Kind = web::TimerOperation::Kind;

// The values of a listed timer's content that the interface reports; the folder and the tags
// are kept only when set, since an empty attribute and none are the same to the box.
constexpr std::string_view kWebValues[] = {"begin",      "end",      "serviceref",
                                           "repeated",   "name",     "description",
                                           "afterevent", "disabled", "justplay"};
constexpr const char* kFolder = "+location";
constexpr const char* kTags = "+tags";

std::string ValueOf(const ListedTimer& timer, const std::string& key) {
  auto it = timer.content.find(key);
  return it == timer.content.end() ? std::string() : it->second;
}

std::string Attribute(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + boxdata::XmlEscape(value) + "\"";
}

// The timer as the receiver would write it, for the list reader.
void AppendElement(std::string& out, const web::BoxTimer& t) {
  out += "<timer" + Attribute("begin", std::to_string(t.begin)) +
         Attribute("end", std::to_string(t.end)) + Attribute("serviceref", t.serviceref) +
         Attribute("repeated", std::to_string(t.repeated)) + Attribute("name", t.name) +
         Attribute("description", t.description) +
         Attribute("afterevent", std::string(web::AfterEventName(t.afterevent))) +
         Attribute("eit", std::to_string(t.eit)) + Attribute("disabled", t.disabled ? "1" : "0") +
         Attribute("justplay", t.justplay ? "1" : "0");
  if (!t.dirname.empty()) out += Attribute("location", t.dirname);
  if (!t.tags.empty()) out += Attribute("tags", t.tags);
  out += ">\n</timer>\n";
}

// Pairs each merged timer with a box timer: the same identity and content first, then the
// origin (the user's own timer, whatever the box or the user did to its times), then the
// identity alone. pair[i] is the index in box, or -1.
std::vector<int> PairWithBox(const std::vector<ListedTimer>& merged,
                             const std::vector<ListedTimer>& box) {
  std::multimap<std::string, size_t> by_identity;
  for (size_t j = 0; j < box.size(); ++j)
    by_identity.emplace(box[j].identity, j);
  std::vector<int> pair(merged.size(), -1);
  std::vector<bool> used(box.size(), false);
  auto pass = [&](auto key_of, bool same_content) {
    for (size_t i = 0; i < merged.size(); ++i) {
      const std::optional<std::string> key = key_of(merged[i]);
      if (pair[i] >= 0 || !key) continue;
      auto [lo, hi] = by_identity.equal_range(*key);
      for (auto it = lo; it != hi; ++it) {
        if (used[it->second] || (same_content && !merged[i].SameContent(box[it->second]))) continue;
        pair[i] = static_cast<int>(it->second);
        used[it->second] = true;
        break;
      }
    }
  };
  auto identity = [](const ListedTimer& t) { return std::optional<std::string>(t.identity); };
  pass(identity, true);
  pass([](const ListedTimer& t) { return t.origin; }, false);
  pass(identity, false);
  return pair;
}

int Find(const std::vector<ListedTimer>& list, const std::string& identity) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].identity == identity) return static_cast<int>(i);
  }
  return -1;
}

// Whether the box moved wanted's begin on by 1 to max_shift seconds (a repeated timer's
// also on to a later day), the box's way with an add whose begin another timer has.
bool BeginMovedOn(const ListedTimer& box, const ListedTimer& wanted, int64_t max_shift) {
  constexpr int64_t kDay = 86400;
  int64_t delta = box.Begin() - wanted.Begin();
  if (wanted.Repeated()) delta = ((delta % kDay) + kDay) % kDay;
  return delta > 0 && delta <= max_shift;
}

}  // namespace

void RestrictToWebView(std::vector<ListedTimer>& timers) {
  for (ListedTimer& t : timers) {
    std::map<std::string, std::string> view;
    for (std::string_view key : kWebValues)
      view.emplace(key, ValueOf(t, std::string(key)));
    if (std::string folder = ValueOf(t, kFolder); !folder.empty()) view.emplace(kFolder, folder);
    if (std::string tags = web::TagWords(ValueOf(t, kTags)); !tags.empty())
      view.emplace(kTags, tags);
    t.content = std::move(view);
    t.children.clear();
  }
}

std::string BoxListText(const std::vector<web::BoxTimer>& timers) {
  std::string text = "<?xml version=\"1.0\" ?>\n<timers>\n";
  for (const web::BoxTimer& t : timers)
    AppendElement(text, t);
  return text + "</timers>\n";
}

TimerList ListedFromBox(const std::vector<web::BoxTimer>& timers,
                        const platform::ClockSettings& clock) {
  TimerList list = ReadTimerList(BoxListText(timers), clock);
  RestrictToWebView(list.timers);
  return list;
}

web::BoxTimer ToBoxTimer(const ListedTimer& timer) {
  const boxdata::TimerValues& v = timer.values;
  web::BoxTimer box;
  box.serviceref = v.serviceref;
  box.name = v.name;
  box.description = boxdata::XmlUnescape(v.description);
  box.begin = timer.Begin();
  box.end = timer.End();
  box.disabled = v.disabled != 0;
  box.justplay = v.justplay != 0;
  // The written list's check lets no other name through.
  box.afterevent = web::AfterEventFromName(boxdata::XmlUnescape(v.afterevent))
                       .value_or(web::AfterEvent::kNothing);
  box.repeated = static_cast<int>(v.repeated);
  box.eit = v.eit.value_or(0);
  box.dirname = ValueOf(timer, kFolder);
  box.tags = web::TagWords(ValueOf(timer, kTags));
  return box;
}

std::vector<PlannedOperation> PlanOperations(const std::vector<ListedTimer>& merged,
                                             const std::vector<ListedTimer>& box,
                                             const std::vector<web::BoxTimer>& box_timers) {
  const std::vector<int> pair = PairWithBox(merged, box);
  std::vector<bool> kept(box.size(), false);
  std::vector<PlannedOperation> plan;
  for (size_t i = 0; i < merged.size(); ++i) {
    if (pair[i] < 0) {
      plan.push_back({{Kind::kAdd, {}, ToBoxTimer(merged[i])}, std::nullopt, merged[i]});
      continue;
    }
    const auto j = static_cast<size_t>(pair[i]);
    kept[j] = true;
    if (merged[i].SameContent(box[j])) continue;
    plan.push_back({{Kind::kChange, box_timers[j], ToBoxTimer(merged[i])}, box[j], merged[i]});
  }
  for (size_t j = 0; j < box.size(); ++j) {
    if (!kept[j]) plan.push_back({{Kind::kDelete, box_timers[j], {}}, box[j], std::nullopt});
  }
  return plan;
}

std::vector<web::TimerOperation> Calls(const std::vector<PlannedOperation>& plan) {
  std::vector<web::TimerOperation> calls;
  for (const PlannedOperation& op : plan)
    calls.push_back(op.call);
  return calls;
}

bool ShowsDone(const TimerList& list, const PlannedOperation& op,
               const std::vector<ListedTimer>& box_before) {
  std::vector<ListedTimer> view = list.timers;
  RestrictToWebView(view);
  if (op.call.kind == Kind::kDelete) return Find(view, op.before->identity) < 0;
  std::vector<ListedTimer> wanted = {*op.after};
  RestrictToWebView(wanted);
  // No folder is the box's default folder, whatever the box calls it.
  const bool any_folder = !wanted[0].content.contains(kFolder);
  for (ListedTimer& t : view) {
    if (any_folder) t.content.erase(kFolder);
    if (t.identity == wanted[0].identity && t.SameContent(wanted[0])) return true;
  }
  if (op.call.kind != Kind::kAdd) return false;
  std::map<std::string, std::string> wanted_rest = wanted[0].content;
  wanted_rest.erase("begin");
  const auto max_shift = static_cast<int64_t>(view.size());
  for (ListedTimer& t : view) {
    if (!BeginMovedOn(t, wanted[0], max_shift) || Find(box_before, t.identity) >= 0) continue;
    t.content.erase("begin");
    if (t.content == wanted_rest) return true;
  }
  return false;
}

ListWithUndone WithUndone(const TimerList& box_list, const std::vector<PlannedOperation>& plan,
                          const std::vector<bool>& undone) {
  std::vector<ListedTimer> shown = box_list.timers;
  ListWithUndone result;
  for (size_t i = 0; i < plan.size(); ++i) {
    if (!undone[i]) continue;
    ++result.undone;
    const PlannedOperation& op = plan[i];
    const int at = op.before ? Find(shown, op.before->identity) : -1;
    if (op.call.kind == Kind::kDelete) {
      if (at >= 0) shown.erase(shown.begin() + at);
      continue;
    }
    // Here `origin` carries the box's timer a change stands in for, through the sorting.
    ListedTimer wanted = *op.after;
    wanted.origin =
        op.call.kind == Kind::kChange ? op.before->identity : std::optional<std::string>();
    if (at >= 0)
      shown[static_cast<size_t>(at)] = std::move(wanted);
    else
      shown.push_back(std::move(wanted));
  }
  SortForWriting(shown);
  for (size_t place = 0; place < shown.size(); ++place) {
    if (shown[place].origin) result.origins.emplace(place, *shown[place].origin);
  }
  result.text = TimerListText(std::move(shown));
  return result;
}

std::vector<std::string> TimerStates(const std::vector<web::BoxTimer>& box,
                                     std::string_view timer_list,
                                     const platform::ClockSettings& clock) {
  const TimerList listed = ListedFromBox(box, clock);
  std::multimap<std::string, size_t> by_identity;
  for (size_t j = 0; j < box.size(); ++j)
    by_identity.emplace(listed.timers[j].identity, j);
  std::vector<std::string> states;
  for (const ListedTimer& row : ReadTimerList(timer_list, clock).timers) {
    auto it = by_identity.find(row.identity);
    if (it == by_identity.end()) {
      states.emplace_back();
      continue;
    }
    states.emplace_back(web::StatusText(box[it->second]));
    by_identity.erase(it);  // two rows of one identity are two of the box's timers
  }
  return states;
}

}  // namespace tivolo::transfer
