// A timer as the conflict model reads it, and the receiver's rules for which timers it checks
// and when a repeated timer recurs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "boxdata/timer_file.h"
#include "platform/clock.h"

namespace tivolo::plan {

struct PlanTimer {
  int64_t begin = 0, end = 0;  // seconds since 1970 UTC
  std::string serviceref;
  int64_t repeated = 0;  // bit 0 Monday ... bit 6 Sunday, in the box's local time
  bool disabled = false;
  bool justplay = false;  // zap timers take a tuner too
  bool conflict_detection = true;
  std::string name;     // the timer's name, for texts
  std::string channel;  // the channel's name, for texts; may be empty
};

// The timer's values as read from timers.xml ("conflict_detection" is one of the attributes
// the reader keeps as extra text).
PlanTimer PlanTimerFromValues(const boxdata::TimerValues& values, std::string channel = {});

// Whether the receiver checks the timer at all: not disabled, conflict detection on, not a
// stream ("%3a//" in the reference), and, for a one-shot timer, not ended before `now`.
bool TakesPart(const PlanTimer& timer, int64_t now);

// One recording of a timer: a one-shot timer has one, a repeated one one per recurrence.
struct Occurrence {
  int64_t begin = 0, end = 0;
  uint32_t timer = 0;  // index into the model's timers (or kCandidateIndex)
};

// The weeks the receiver lays repeated timers over: from the week (weeks start on Thursday
// 00:00 UTC, as its arithmetic does) of the earliest one-shot begin through the latest one-shot
// end; two weeks from `now`'s week when there is no one-shot timer (the receiver then uses two
// weeks of 1970; the arrangement of days is the same). At most kMaxWeeks.
struct RepeatWindow {
  int64_t first_week = 0;  // seconds, a Thursday 00:00 UTC
  int weeks = 2;
  bool from_one_shots = false;
};
inline constexpr int kMaxWeeks = 520;
RepeatWindow WindowFor(const std::vector<PlanTimer>& timers, int64_t now);

// Appends the occurrences of one timer. A repeated timer recurs on its days at the time of day
// of its begin, with the receiver's summer-time correction (the hour of its first begin kept in
// local time); recurrences before its own begin are dropped when the window comes from
// one-shot timers.
void AppendOccurrences(const PlanTimer& timer, uint32_t index, const RepeatWindow& window,
                       const platform::ClockSettings& clock, std::vector<Occurrence>& out);

}  // namespace tivolo::plan
