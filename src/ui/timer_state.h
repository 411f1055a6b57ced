// What the timer list shows of a timer at a glance, from its own attributes and the clock:
// switched off, zap only, waiting, running now or ended; and the lines of the tooltip that
// tells the rest (the whole name and description, the service reference, the repeat days in
// words, the after-event). Qt-free, so that the rules hold whatever paints them.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/timer_writer.h"
#include "store/mem_table.h"
#include "ui/timer_rules.h"

namespace tivolo::ui {

// The fields of Timers the state and the tooltip read.
struct TimerStateFields {
  explicit TimerStateFields(const store::MemTable& timers);
  boxdata::TimerTimeFields times;
  const store::Field& zender;
  const store::Field& name;
  const store::Field& description;
  const store::Field& serviceref;
  const store::Field& afterevent;
  const store::Field& repeated_org;
  const store::Field& disabled;
  const store::Field& justplay;
  const store::Field& extra_attributes;
};

enum class TimerPhase { kWaiting, kRunning, kEnded };

struct TimerState {
  bool disabled = false;  // switched off: the box neither records nor zaps
  bool zap = false;       // the box only switches to the channel
  // Running: switched on, begun and not yet ended. Ended: a one-off timer whose end has
  // passed; a repeated timer's stored times are only its next run, so it never ends.
  TimerPhase phase = TimerPhase::kWaiting;
  bool operator==(const TimerState&) const = default;
};

TimerState StateOf(const store::RecordBuffer& row, const TimerStateFields& fields,
                   const ClockNow& now);

// "Mon, Wed and Fri", "every day", or empty for a timer that does not repeat. day_names are
// Monday first; bit 0 of the mask is Monday. Bits above the week's are not days.
std::string RepeatDaysText(int64_t mask, const std::array<std::string, 7>& day_names);

// "Made by the series rule "News"" for a timer a rule made (its extra attributes say so);
// empty for any other.
std::string RuleOriginText(std::string_view extra_attributes);

// The tooltip, one line each: the name, the description (when there is one), the channel and
// its service reference, the repeat days or "Once", the after-event, the series rule that
// made it, and what the timer is doing when that is not plain waiting.
std::vector<std::string> TooltipLines(const store::RecordBuffer& row,
                                      const TimerStateFields& fields, const TimerState& state,
                                      const std::array<std::string, 7>& day_names);

}  // namespace tivolo::ui
