#include "plan/plan_timer.h"

#include <algorithm>
#include <cmath>

namespace tivolo::plan {
namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kWeek = 7 * kDay;

// Times beyond some thirty thousand years are hostile input: held there, no sum overflows.
constexpr int64_t kTimeLimit = int64_t{1} << 40;

int64_t Clamp(int64_t t) {
  return std::clamp(t, -kTimeLimit, kTimeLimit);
}

int64_t FloorMod(int64_t a, int64_t b) {
  const int64_t m = a % b;
  return m < 0 ? m + b : m;
}

int64_t LocalOffset(int64_t t, const platform::ClockSettings& clock) {
  const platform::DateTime utc = platform::EpochSecondsToDateTime(t);
  return std::llround((platform::UtcToLocal(utc, clock) - utc) * 86400.0);
}

int LocalHour(int64_t t, const platform::ClockSettings& clock) {
  return static_cast<int>(FloorMod(t + LocalOffset(t, clock), kDay) / 3600);
}

// The repeat days moved to the receiver's week, which starts on Thursday: bit n is n days after
// Thursday. A begin whose local date is the next UTC date moves each day one back (in zones
// east of Greenwich; the receiver makes no such move west of it).
uint32_t WeekDays(int64_t repeated, int64_t time_of_day, int64_t zone_offset) {
  uint32_t flags = static_cast<uint32_t>(repeated & 0x7F);
  flags = ((flags & 0x7F) >> 3) | ((flags & 0x07) << 4);
  if (zone_offset > 0 && time_of_day + zone_offset > kDay)
    flags = ((flags >> 1) & 0x3F) | ((flags << 6) & 0x40);
  return flags;
}

bool HasStreamUrl(const std::string& ref) {
  return ref.find("%3a//") != std::string::npos || ref.find("%3A//") != std::string::npos;
}

}  // namespace

PlanTimer PlanTimerFromValues(const boxdata::TimerValues& v, std::string channel) {
  PlanTimer t;
  t.begin = v.begin.value_or(0);
  t.end = v.end.value_or(t.begin);
  t.serviceref = v.serviceref;
  t.repeated = v.repeated;
  t.disabled = v.disabled != 0;
  t.justplay = v.justplay != 0;
  t.conflict_detection = v.extra_attributes.find("conflict_detection=\"0\"") == std::string::npos &&
                         v.extra_attributes.find("conflict_detection='0'") == std::string::npos;
  t.name = v.name;
  t.channel = std::move(channel);
  return t;
}

bool TakesPart(const PlanTimer& t, int64_t now) {
  if (t.disabled || !t.conflict_detection || HasStreamUrl(t.serviceref)) return false;
  return (t.repeated & 0x7F) != 0 || t.end >= now;
}

RepeatWindow WindowFor(const std::vector<PlanTimer>& timers, int64_t now) {
  int64_t first = INT64_MAX, last = INT64_MIN;
  for (const PlanTimer& t : timers) {
    if ((t.repeated & 0x7F) != 0 || !TakesPart(t, now)) continue;
    first = std::min({first, Clamp(t.begin), Clamp(t.end)});
    last = std::max({last, Clamp(t.begin), Clamp(t.end)});
  }
  RepeatWindow w;
  if (first == INT64_MAX) {
    w.first_week = now - FloorMod(now, kWeek);
    return w;
  }
  w.from_one_shots = true;
  w.first_week = first - FloorMod(first, kWeek);
  const int64_t span = last - w.first_week;
  w.weeks = static_cast<int>(std::min<int64_t>(kMaxWeeks, span / kWeek + (span % kWeek ? 1 : 0)));
  return w;
}

void AppendOccurrences(const PlanTimer& t, uint32_t index, const RepeatWindow& w,
                       const platform::ClockSettings& clock, std::vector<Occurrence>& out) {
  const int64_t first_begin = Clamp(t.begin);
  const int64_t length = std::max<int64_t>(0, Clamp(t.end) - first_begin);
  if ((t.repeated & 0x7F) == 0) {
    out.push_back({first_begin, first_begin + length, index});
    return;
  }
  const int64_t time_of_day = FloorMod(first_begin, kDay);
  // The zone's offset early in 1970, as the receiver takes it once.
  const int64_t zone_offset = LocalOffset(25 * 3600, clock);
  const uint32_t days = WeekDays(t.repeated, time_of_day, zone_offset);
  const int first_hour = LocalHour(first_begin, clock);
  for (int week = 0; week < w.weeks; ++week) {
    for (int day = 0; day < 7; ++day) {
      if (!(days & (1u << day))) continue;
      int64_t begin = time_of_day + day * kDay + w.first_week + week * kWeek;
      // Summer-time correction: the same local hour as the first begin (the receiver's
      // arithmetic, wrap at midnight included).
      begin += 3600 * (first_hour - LocalHour(begin, clock));
      if (w.from_one_shots && begin < first_begin) continue;
      out.push_back({begin, begin + length, index});
    }
  }
}

}  // namespace tivolo::plan
