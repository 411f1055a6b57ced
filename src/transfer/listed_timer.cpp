#include "transfer/listed_timer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

#include "boxdata/box_tables.h"
#include "boxdata/service_reference.h"
#include "boxdata/text_lines.h"
#include "boxdata/xml_text.h"
#include "store/date_format.h"

namespace tivolo::transfer {
namespace {

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
               {"serviceref", ComparableReference(v.serviceref)},
               {"repeated", std::to_string(v.repeated)},
               {"name", v.name},
               {"description", boxdata::XmlUnescape(v.description)},
               {"afterevent", boxdata::XmlUnescape(v.afterevent)},
               {"eit", Number(v.eit)},
               {"disabled", std::to_string(v.disabled)},
               {"justplay", std::to_string(v.justplay)}};
  for (const boxdata::XmlAttribute& a : element.attributes) {
    if (std::find(std::begin(kTimerFields), std::end(kTimerFields), a.name) !=
        std::end(kTimerFields))
      continue;
    t.content.emplace("+" + a.name, boxdata::XmlUnescape(a.value));
  }
  for (const std::string& line : element.child_lines) {
    std::string_view trimmed = boxdata::TrimControl(line);
    if (!trimmed.empty()) t.children.emplace_back(trimmed);
  }
  t.Reidentify();
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
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

std::string ComparableReference(std::string_view reference) {
  std::string out = boxdata::UpperReferenceFields(reference);
  for (size_t i = 0; i + 2 < out.size(); ++i) {
    if (out[i] != '%' || !IsHexDigit(out[i + 1]) || !IsHexDigit(out[i + 2])) continue;
    out[i + 1] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[i + 1])));
    out[i + 2] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[i + 2])));
  }
  if (!out.empty() && out.back() == ':') out.pop_back();
  return out;
}

void ListedTimer::Reidentify() {
  auto value = [this](const char* key) {
    auto it = content.find(key);
    return it == content.end() ? std::string() : it->second;
  };
  identity = (Repeated() ? "R|" : "S|") + value("serviceref") + "|" +
             (Repeated() ? value("repeated") + "|" : "") + value("begin") + "|" + value("end");
}

void ListedTimer::TakeField(const ListedTimer& from, std::string_view field) {
  const std::string key(field);
  if (auto it = from.content.find(key); it != from.content.end())
    content[key] = it->second;
  else
    content.erase(key);
  boxdata::TimerValues& v = values;
  const boxdata::TimerValues& f = from.values;
  if (field == "begin") v.begin = f.begin;
  if (field == "end") v.end = f.end;
  if (field == "serviceref") v.serviceref = f.serviceref;
  if (field == "repeated") v.repeated = f.repeated;
  if (field == "name") v.name = f.name;
  if (field == "description") v.description = f.description;
  if (field == "afterevent") v.afterevent = f.afterevent;
  if (field == "eit") v.eit = f.eit;
  if (field == "disabled") v.disabled = f.disabled;
  if (field == "justplay") v.justplay = f.justplay;
}

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
