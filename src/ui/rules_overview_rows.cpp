#include "ui/rules_overview_rows.h"

#include "boxdata/box_tables.h"
#include "ui/rule_rows.h"
#include "ui/timer_state.h"

namespace tivolo::ui {
namespace {

std::string Quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

std::string Joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names)
    out += (out.empty() ? "" : ", ") + Quoted(n);
  return out;
}

// The box's list as the conflict model reads it, in the view's order.
std::vector<plan::PlanTimer> PlanList(store::MemTable& timers, const ClockNow& now) {
  std::vector<plan::PlanTimer> out;
  if (!timers.Active()) return out;
  const TimerStateFields fields(timers);
  const int64_t utc = platform::DateTimeToEpoch(now.utc);
  for (int row = 0; row < timers.RecordCount(); ++row)
    out.push_back(PlanTimerOf(timers.ViewRecordAt(row), fields, now.clock, utc));
  return out;
}

// Programme rows of the guide, with the user's channel names.
GuideRow RowOf(const GuideState& state, uint32_t event, const boxdata::ChannelNames& channels,
               const std::vector<int32_t>& channel_of, const ClockNow& now) {
  GuideRow row = GuideEventRow(state.guide, event, now.clock);
  const uint32_t service = state.guide.Events()[event].service;
  const int32_t channel = service < channel_of.size() ? channel_of[service] : -1;
  if (channel >= 0) {
    row.channel = channels[static_cast<size_t>(channel)].name;
    row.service = channels[static_cast<size_t>(channel)].service;
  }
  return row;
}

std::string MarksOf(const plan::OverviewItem& item,
                    const std::vector<boxdata::AutoTimerRule>& rules,
                    const std::vector<plan::ExistingTimer>& timers,
                    const std::vector<OverviewRow>& rows) {
  std::vector<std::string> marks;
  if (item.covered) {
    marks.push_back("covered by the timer " + Quoted(timers[*item.entry.covered_by_timer].name));
  } else {
    marks.push_back("new timer");
  }
  if (!item.entry.also_rules.empty()) {
    std::vector<std::string> names;
    for (size_t r : item.entry.also_rules)
      names.emplace_back(rules[r].DisplayName());
    marks.push_back("twice: also found by " + Joined(names));
  }
  if (item.twin) {
    const OverviewRow& twin = rows[*item.twin];
    marks.push_back("twice: the same episode " + twin.row.day + " " + twin.row.times +
                    (twin.row.channel.empty() ? "" : " on " + twin.row.channel));
  }
  if (item.no_tuner) marks.push_back("conflict: no tuner, with " + Joined(item.conflicts_with));
  if (item.takes_tuner)
    marks.push_back("conflict: leaves " + Joined(item.conflicts_with) + " without a tuner");
  std::string out;
  for (const std::string& m : marks)
    out += (out.empty() ? "" : "; ") + m;
  return out;
}

}  // namespace

OverviewRows RulesOverviewRows(const GuideState& state, const boxdata::AutoTimerFile& file,
                               store::MemTable& timers, const boxdata::ChannelNames& channels,
                               const TunerContext* tuners, const ClockNow& now) {
  OverviewRows out;
  if (!state.rule_titles) return out;
  std::vector<boxdata::AutoTimerRule> rules;
  for (const boxdata::AutoTimerEntry& entry : file.rules)
    rules.push_back(entry.rule);
  plan::RuleRunSettings settings;
  settings.margins = state.settings;
  settings.clock = now.clock;
  settings.now = platform::DateTimeToEpoch(now.utc);
  const std::vector<int32_t> channel_of = ChannelOfServices(state.guide, channels);
  plan::OverviewTuners context;
  if (tuners) {
    context.tuners = tuners->tuners;
    context.transponders = tuners->transponders;
    context.list = PlanList(timers, now);
  }
  for (int32_t channel : channel_of)
    context.service_references.push_back(
        channel >= 0 ? channels[static_cast<size_t>(channel)].service : std::string());
  const std::vector<plan::ExistingTimer> existing = ExistingTimers(timers, now);
  const plan::RulesOverview overview =
      plan::OverviewOfRules(*state.rule_titles, rules, existing, settings, context);
  for (const plan::OverviewItem& item : overview.items) {
    OverviewRow row;
    row.rule = std::string(rules[item.entry.rule].DisplayName());
    row.row = RowOf(state, item.entry.match.event, channels, channel_of, now);
    row.attention = item.twice || item.Conflict();
    out.rows.push_back(std::move(row));
  }
  // The marks name the rows of the same episode, so they come once every row is made.
  for (size_t i = 0; i < out.rows.size(); ++i)
    out.rows[i].marks = MarksOf(overview.items[i], rules, existing, out.rows);
  out.summary = overview.Summary();
  return out;
}

}  // namespace tivolo::ui
