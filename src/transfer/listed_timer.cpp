#include "transfer/listed_timer.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "boxdata/box_tables.h"
#include "boxdata/text_lines.h"
#include "boxdata/xml_text.h"
#include "store/date_format.h"

namespace tivolo::transfer {
namespace {

constexpr std::string_view kKnown[] = {"begin",    "end",         "serviceref", "repeated",
                                       "name",     "description", "afterevent", "eit",
                                       "disabled", "justplay"};

// Seconds since local midnight of a box time.
int64_t LocalTimeOfDay(int64_t seconds, const platform::ClockSettings& clock) {
  const platform::DateTime local =
      platform::UtcToLocal(platform::EpochToDateTime(static_cast<int32_t>(seconds)), clock);
  return std::llround((local - std::floor(local)) * 86400.0) % 86400;
}

std::string Number(const std::optional<int64_t>& n) {
  return n ? std::to_string(*n) : std::string();
}

void FillContent(ListedTimer& t, const boxdata::TimerElement& element,
                 const platform::ClockSettings& clock) {
  const boxdata::TimerValues& v = t.values;
  std::string begin = Number(v.begin);
  std::string end = Number(v.end);
  if (t.Repeated() && v.begin && v.end) {
    begin = "day+" + std::to_string(LocalTimeOfDay(*v.begin, clock));
    end = "day+" + std::to_string(LocalTimeOfDay(*v.end, clock));
  }
  t.content = {{"begin", begin},
               {"end", end},
               {"serviceref", v.serviceref},
               {"repeated", std::to_string(v.repeated)},
               {"name", v.name},
               {"description", boxdata::XmlUnescape(v.description)},
               {"afterevent", boxdata::XmlUnescape(v.afterevent)},
               {"eit", Number(v.eit)},
               {"disabled", std::to_string(v.disabled)},
               {"justplay", std::to_string(v.justplay)}};
  for (const boxdata::XmlAttribute& a : element.attributes) {
    if (std::find(std::begin(kKnown), std::end(kKnown), a.name) != std::end(kKnown)) continue;
    t.content.emplace("+" + a.name, boxdata::XmlUnescape(a.value));
  }
  for (const std::string& line : element.child_lines) {
    std::string_view trimmed = boxdata::TrimControl(line);
    if (!trimmed.empty()) t.children.emplace_back(trimmed);
  }
  t.identity = t.Repeated() ? "R|" + v.serviceref + "|" + std::to_string(v.repeated) + "|" + begin +
                                  "|" + end
                            : "S|" + v.serviceref + "|" + Number(v.begin) + "|" + Number(v.end);
}

// Content and identity together, for comparing lists as multisets.
std::string Fingerprint(const ListedTimer& t) {
  std::string out = t.identity;
  for (const auto& [name, value] : t.content) {
    out += '\x1f' + name + '=' + value;
  }
  for (const std::string& child : t.children)
    out += '\x1e' + child;
  return out;
}

}  // namespace

TimerList ReadTimerList(std::string_view bytes, const platform::ClockSettings& clock) {
  const boxdata::TimerListFile file = boxdata::ParseTimerList(bytes);
  TimerList list;
  list.complete = file.Complete();
  list.problems = file.problems;
  if (!file.has_end_tag) list.problems.emplace_back("the list has no \"</timers>\" at its end");
  for (const boxdata::TimerElement& element : file.timers) {
    ListedTimer t;
    t.values = boxdata::ExtractTimerValues(element);
    FillContent(t, element, clock);
    list.timers.push_back(std::move(t));
  }
  return list;
}

bool SameTimers(const std::vector<ListedTimer>& a, const std::vector<ListedTimer>& b) {
  if (a.size() != b.size()) return false;
  std::vector<std::string> fa, fb;
  for (const auto& t : a)
    fa.push_back(Fingerprint(t));
  for (const auto& t : b)
    fb.push_back(Fingerprint(t));
  std::sort(fa.begin(), fa.end());
  std::sort(fb.begin(), fb.end());
  return fa == fb;
}

bool StillHolds(const TimerList& box, const TimerList& sent, int64_t now) {
  std::multiset<std::string> held;
  for (const ListedTimer& t : box.timers)
    held.insert(Fingerprint(t));
  for (const ListedTimer& t : sent.timers) {
    auto it = held.find(Fingerprint(t));
    if (it != held.end()) {
      held.erase(it);
    } else if (t.Repeated() || t.End() > now) {
      return false;
    }
  }
  return held.empty();
}

void SortForWriting(std::vector<ListedTimer>& timers) {
  std::stable_sort(timers.begin(), timers.end(), [](const ListedTimer& x, const ListedTimer& y) {
    return std::pair(x.Begin(), x.End()) < std::pair(y.Begin(), y.End());
  });
}

std::string TimerListText(std::vector<ListedTimer> timers) {
  SortForWriting(timers);
  std::string out = boxdata::kTimerListHead;
  for (const ListedTimer& t : timers)
    boxdata::AppendTimerElement(out, boxdata::ToTimerText(t.values));
  out += boxdata::kTimerListFoot;
  return out;
}

std::string TimerLabeller::Channel(const ListedTimer& timer) const {
  auto it = channel_names_.find(timer.values.serviceref);
  return it != channel_names_.end() && !it->second.empty() ? it->second : timer.values.serviceref;
}

std::string TimerLabeller::TimeOfDay(int64_t seconds) const {
  const platform::DateTime local =
      platform::UtcToLocal(platform::EpochToDateTime(static_cast<int32_t>(seconds)), clock_);
  return store::FormatDateTime("hh:nn", local);
}

std::string TimerLabeller::Label(const ListedTimer& timer) const {
  const platform::DateTime begin =
      platform::UtcToLocal(platform::EpochToDateTime(static_cast<int32_t>(timer.Begin())), clock_);
  return Channel(timer) + " " + store::FormatDateTime(boxdata::kBeginEndFormat, begin) + "-" +
         TimeOfDay(timer.End()) + " \"" + timer.values.name + "\"";
}

}  // namespace tivolo::transfer
