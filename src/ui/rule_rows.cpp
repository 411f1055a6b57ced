#include "ui/rule_rows.h"

#include <algorithm>
#include <array>

#include "boxdata/box_tables.h"
#include "boxdata/guide_link.h"
#include "boxdata/text_lines.h"
#include "boxdata/xml_text.h"
#include "ui/timer_state.h"

namespace tivolo::ui {
namespace {

constexpr std::array<const char*, 7> kDayNames = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::array<boxdata::RuleFilterWhere, 4> kPlaces = {
    boxdata::RuleFilterWhere::kTitle, boxdata::RuleFilterWhere::kShortDescription,
    boxdata::RuleFilterWhere::kDescription, boxdata::RuleFilterWhere::kDayOfWeek};

// The days one day-of-week filter names: "0".."6", "weekday", "weekend".
std::array<bool, 7> DaysOf(std::string_view pattern) {
  std::array<bool, 7> days{};
  if (pattern == "weekday") {
    std::fill(days.begin(), days.begin() + 5, true);
  } else if (pattern == "weekend") {
    days[5] = days[6] = true;
  } else if (pattern.size() == 1 && pattern[0] >= '0' && pattern[0] <= '6') {
    days[static_cast<size_t>(pattern[0] - '0')] = true;
  }
  return days;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::string Plural(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string RuleDaysText(const boxdata::AutoTimerRule& rule) {
  std::array<bool, 7> allowed{};
  bool any_include = false;
  for (const boxdata::RuleFilter& f : rule.includes) {
    if (f.where != boxdata::RuleFilterWhere::kDayOfWeek) continue;
    any_include = true;
    const auto days = DaysOf(f.pattern);
    for (size_t d = 0; d < 7; ++d)
      allowed[d] = allowed[d] || days[d];
  }
  if (!any_include) allowed.fill(true);
  for (const boxdata::RuleFilter& f : rule.excludes) {
    if (f.where != boxdata::RuleFilterWhere::kDayOfWeek) continue;
    const auto days = DaysOf(f.pattern);
    for (size_t d = 0; d < 7; ++d)
      allowed[d] = allowed[d] && !days[d];
  }
  const auto count = std::count(allowed.begin(), allowed.end(), true);
  if (count == 7) return "every day";
  if (count == 0) return "no day";
  if (count == 5 && !allowed[5] && !allowed[6]) return "Mon-Fri";
  std::string text;
  for (size_t d = 0; d < 7; ++d) {
    if (allowed[d]) text += (text.empty() ? "" : ", ") + std::string(kDayNames[d]);
  }
  return text;
}

RuleListRow RuleRowOf(const boxdata::AutoTimerRule& rule) {
  RuleListRow row;
  row.name = std::string(rule.DisplayName());
  row.match = rule.match;
  if (rule.search_type != boxdata::RuleSearchType::kPartial)
    row.match += " (" + std::string(boxdata::SearchTypeName(rule.search_type)) + ")";
  const size_t channels = rule.services.size(), bouquets = rule.bouquets.size();
  if (channels == 0 && bouquets == 0) {
    row.channels = "all";
  } else {
    if (channels > 0) row.channels = Plural(channels, "channel", "channels");
    if (bouquets > 0)
      row.channels += (channels > 0 ? ", " : "") + Plural(bouquets, "bouquet", "bouquets");
  }
  row.span = rule.from && rule.to
                 ? boxdata::FormatTimeOfDay(*rule.from) + "-" + boxdata::FormatTimeOfDay(*rule.to)
                 : "any time";
  row.days = RuleDaysText(rule);
  row.enabled = rule.enabled ? "yes" : "no";
  return row;
}

std::string FilterLines(const std::vector<boxdata::RuleFilter>& filters) {
  std::string text;
  for (const boxdata::RuleFilter& f : filters)
    text += std::string(boxdata::FilterWhereName(f.where)) + ": " + f.pattern + "\n";
  return text;
}

std::vector<boxdata::RuleFilter> ParseFilterLines(std::string_view text, std::string& problem) {
  std::vector<boxdata::RuleFilter> filters;
  problem.clear();
  boxdata::ForEachLine(text, [&](std::string_view line) {
    line = Trim(line);
    if (line.empty()) return;
    const size_t colon = line.find(':');
    const std::string_view where = Trim(line.substr(0, std::min(colon, line.size())));
    const auto place = std::find_if(kPlaces.begin(), kPlaces.end(),
                                    [&](auto p) { return boxdata::FilterWhereName(p) == where; });
    if (colon == std::string_view::npos || place == kPlaces.end()) {
      if (problem.empty())
        problem = "\"" + std::string(line) +
                  "\" names no place: begin with title:, shortdescription:, description: or "
                  "dayofweek:";
      return;
    }
    filters.push_back({*place, std::string(Trim(line.substr(colon + 1)))});
  });
  return filters;
}

std::string RuleChannelNames(const std::vector<std::string>& services,
                             const boxdata::ChannelNames& channels) {
  if (services.empty()) return "every channel";
  std::string names;
  size_t unknown = 0;
  for (const std::string& service : services) {
    const std::optional<boxdata::GuideServiceKey> key = boxdata::GuideKeyOf(service);
    const auto found = std::find_if(channels.begin(), channels.end(), [&](const auto& c) {
      return key && boxdata::GuideKeyOf(c.service) == key;
    });
    if (found == channels.end()) {
      ++unknown;
    } else {
      names += (names.empty() ? "" : ", ") + found->name;
    }
  }
  if (unknown > 0)
    names += (names.empty() ? "" : "; ") + Plural(unknown, "other service", "other services");
  return names;
}

std::string CopyName(const boxdata::AutoTimerFile& file, std::string_view name) {
  auto taken = [&file](const std::string& candidate) {
    return std::any_of(file.rules.begin(), file.rules.end(),
                       [&](const auto& e) { return e.rule.DisplayName() == candidate; });
  };
  std::string candidate = std::string(name) + " (copy)";
  for (int n = 2; taken(candidate); ++n)
    candidate = std::string(name) + " (copy " + std::to_string(n) + ")";
  return candidate;
}

std::string RuleProblem(const boxdata::AutoTimerRule& rule) {
  if (rule.match.empty()) return "The rule needs a text to match.";
  if (rule.from.has_value() != rule.to.has_value())
    return "The time span needs both its begin and its end.";
  if (rule.after.has_value() != rule.before.has_value())
    return "The time frame needs both its first and its last day.";
  const std::vector<std::string> patterns = plan::RuleMatcher::PatternProblems(rule);
  return patterns.empty() ? std::string() : patterns.front();
}

std::vector<plan::ExistingTimer> ExistingTimers(store::MemTable& timers, const ClockNow& now) {
  std::vector<plan::ExistingTimer> out;
  if (!timers.Active()) return out;
  const TimerStateFields fields(timers);
  const store::Field& eit = timers.FieldNamed(boxdata::fields::kEit);
  const int rows = timers.RecordCount();
  for (int row = 0; row < rows; ++row) {
    const store::RecordBuffer r = timers.ViewRecordAt(row);
    if (r.IsNull(fields.times.begin) || r.IsNull(fields.times.end)) continue;
    const boxdata::TimerSeconds s = boxdata::WrittenSeconds(r, fields.times, now.clock, now.utc);
    plan::ExistingTimer t;
    t.service_reference = r.AsString(fields.serviceref);
    if (!r.IsNull(eit)) t.eit = r.AsLargeInt(eit);
    t.name = r.AsString(fields.name);
    t.description = boxdata::XmlUnescape(r.AsString(fields.description));
    t.disabled = r.AsLargeInt(fields.disabled) != 0;
    t.begin = s.begin;
    t.end = s.end;
    out.push_back(std::move(t));
  }
  return out;
}

std::string RulePreview::Summary() const {
  if (matches == 0) return "No programme to come has a matching title";
  return std::to_string(recorded) + " of " + Plural(matches, "programme", "programmes") +
         " recorded";
}

RulePreview PreviewRule(const GuideState& state, const boxdata::AutoTimerRule& rule,
                        std::vector<plan::ExistingTimer> timers,
                        const boxdata::ChannelNames& channels, const ClockNow& now, size_t limit) {
  RulePreview preview;
  if (!state.rule_titles) return preview;
  plan::RuleRunSettings settings;
  settings.margins = state.settings;
  settings.clock = now.clock;
  settings.now = platform::DateTimeToEpoch(now.utc);
  plan::RuleMatcher matcher(*state.rule_titles, std::move(timers), std::move(settings));
  const std::vector<plan::RuleMatch> matches = matcher.Match(rule);
  const std::vector<int32_t> channel_of = ChannelOfServices(state.guide, channels);
  // What is over or about to begin is no programme the rule could still record.
  std::vector<const plan::RuleMatch*> to_come;
  for (const plan::RuleMatch& m : matches) {
    if (m.check == plan::RuleCheck::kStarted) continue;
    to_come.push_back(&m);
    if (m.check == plan::RuleCheck::kRecorded) ++preview.recorded;
  }
  preview.matches = to_come.size();
  // Past the limit every recorded programme is still shown, with fewer of those left out.
  size_t left_out_room = limit > preview.recorded ? limit - preview.recorded : 0;
  for (const plan::RuleMatch* m : to_come) {
    const bool recorded = m->check == plan::RuleCheck::kRecorded;
    if (!recorded && left_out_room == 0) continue;
    if (!recorded) --left_out_room;
    RulePreviewRow row;
    row.row = GuideEventRow(state.guide, m->event, now.clock);
    const uint32_t service = state.guide.Events()[m->event].service;
    const int32_t channel = service < channel_of.size() ? channel_of[service] : -1;
    if (channel >= 0) {
      row.row.channel = channels[static_cast<size_t>(channel)].name;
      row.row.service = channels[static_cast<size_t>(channel)].service;
    }
    row.check = m->check;
    row.reason = recorded ? "recorded" : "left out: " + std::string(plan::RuleCheckText(m->check));
    preview.rows.push_back(std::move(row));
  }
  return preview;
}

}  // namespace tivolo::ui
