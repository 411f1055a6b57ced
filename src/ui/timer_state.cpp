#include "ui/timer_state.h"

#include "boxdata/autotimer_file.h"
#include "boxdata/box_tables.h"
#include "boxdata/xml_text.h"

namespace tivolo::ui {
namespace {

namespace fields = boxdata::fields;

constexpr int64_t kWeekBits = 0x7F;

}  // namespace

TimerStateFields::TimerStateFields(const store::MemTable& timers)
    : times(timers),
      zender(timers.FieldNamed(fields::kZender)),
      name(timers.FieldNamed(fields::kName)),
      description(timers.FieldNamed(fields::kDescription)),
      serviceref(timers.FieldNamed(fields::kServiceref)),
      afterevent(timers.FieldNamed(fields::kAfterevent)),
      repeated_org(timers.FieldNamed(fields::kRepeatedOrg)),
      disabled(timers.FieldNamed(fields::kDisabled)),
      justplay(timers.FieldNamed(fields::kJustplay)),
      extra_attributes(timers.FieldNamed(fields::kExtraAttributes)) {}

TimerState StateOf(const store::RecordBuffer& row, const TimerStateFields& f, const ClockNow& now) {
  TimerState state;
  state.disabled = row.AsLargeInt(f.disabled) != 0;
  state.zap = row.AsLargeInt(f.justplay) != 0;
  // A record without its times (one being inserted) is doing nothing yet.
  if (row.IsNull(f.times.begin) || row.IsNull(f.times.end)) return state;
  const TimerInstants at = InstantsOf(row, f.times, now);
  const bool repeated = row.AsLargeInt(f.repeated_org) != 0;
  if (!repeated && at.end <= now.utc) {
    state.phase = TimerPhase::kEnded;
  } else if (!state.disabled && at.begin <= now.utc && now.utc < at.end) {
    state.phase = TimerPhase::kRunning;
  }
  return state;
}

std::string RepeatDaysText(int64_t mask, const std::array<std::string, 7>& day_names) {
  if (mask == 0) return {};
  if ((mask & kWeekBits) == kWeekBits) return "every day";
  std::vector<std::string> days;
  for (size_t bit = 0; bit < day_names.size(); ++bit) {
    if (mask & (int64_t{1} << bit)) days.push_back(day_names[bit]);
  }
  if (days.empty()) return "no day of the week";
  std::string text = days.front();
  for (size_t i = 1; i < days.size(); ++i)
    text += (i + 1 == days.size() ? " and " : ", ") + days[i];
  return text;
}

std::string RuleOriginText(std::string_view extra_attributes) {
  const boxdata::TimerRuleOrigin origin = boxdata::RuleOriginOf(extra_attributes);
  if (!origin.by_rule) return {};
  if (origin.rule_name.empty()) return "Made by a series rule";
  return "Made by the series rule \"" + origin.rule_name + "\"";
}

std::vector<std::string> TooltipLines(const store::RecordBuffer& row, const TimerStateFields& f,
                                      const TimerState& state,
                                      const std::array<std::string, 7>& day_names) {
  std::vector<std::string> lines;
  const std::string name = row.AsString(f.name);
  lines.push_back(name);
  // Kept as the box wrote it, references and all.
  const std::string description = boxdata::XmlUnescape(row.AsString(f.description));
  if (!description.empty() && description != name) lines.push_back(description);
  const std::string channel = row.AsString(f.zender);
  if (!channel.empty()) lines.push_back("Channel: " + channel);
  lines.push_back("Service reference: " + row.AsString(f.serviceref));
  const std::string days = RepeatDaysText(row.AsLargeInt(f.repeated_org), day_names);
  lines.push_back(days.empty() ? "Once" : "Repeats on " + days);
  lines.push_back("After the event: " + boxdata::XmlUnescape(row.AsString(f.afterevent)));
  const std::string origin = RuleOriginText(row.AsString(f.extra_attributes));
  if (!origin.empty()) lines.push_back(origin);
  if (state.disabled) lines.push_back("Switched off: the box leaves it alone");
  if (state.zap) lines.push_back("Zap only: the box switches to the channel, records nothing");
  if (state.phase == TimerPhase::kRunning)
    lines.push_back(state.zap ? "Running now" : "Recording now");
  if (state.phase == TimerPhase::kEnded) lines.push_back("Ended");
  return lines;
}

}  // namespace tivolo::ui
