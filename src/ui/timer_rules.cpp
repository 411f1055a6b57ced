#include "ui/timer_rules.h"

#include <cmath>

namespace tivolo::ui {
namespace {

constexpr int64_t kMsPerMinute = 60'000;
constexpr int64_t kMsPerHour = 60 * kMsPerMinute;
constexpr int64_t kMsPerDay = 24 * kMsPerHour;
// The evening slot a new timer is offered when it is near.
constexpr int64_t kEveningMs = 20 * kMsPerHour + 30 * kMsPerMinute;
constexpr int64_t kFarAheadHours = 4;
constexpr int kRoundMinutes = 10;

// Date-times compared and decoded on whole milliseconds, the precision the tables keep, so
// that a fraction's binary noise never moves a minute or an hour count.
int64_t ToMs(DateTime x) {
  return std::llround(static_cast<long double>(x) * kMsPerDay);
}

}  // namespace

int WeekdayBox(DateTime x) {
  return (platform::DayOfWeek(x) + 6) % 7;
}

DateTime DefaultBegin(DateTime now, DateTime last_saved_end) {
  const int64_t now_ms = ToMs(now);
  const int64_t today_ms = now_ms - (now_ms % kMsPerDay + kMsPerDay) % kMsPerDay;
  int64_t p_ms = today_ms + kEveningMs;
  DateTime p = static_cast<DateTime>(static_cast<long double>(p_ms) / kMsPerDay);
  if (p_ms < now_ms) {
    p = now;
    p_ms = now_ms;
  }
  if ((p_ms - now_ms) / kMsPerHour > kFarAheadHours) {
    p = now;
    p_ms = now_ms;
  }
  const int minute = static_cast<int>((p_ms % kMsPerHour + kMsPerHour) % kMsPerHour / kMsPerMinute);
  const int add = (kRoundMinutes - minute % kRoundMinutes) % kRoundMinutes;
  if (add != 0) p = platform::AddMinutes(p, add);
  if (last_saved_end > now) p = last_saved_end;
  return p;
}

DateTime DefaultEnd(DateTime begin) {
  return platform::AddHours(begin, 2);
}

PickerColours ColourRule(DateTime begin, DateTime end, DateTime now) {
  PickerColours c;
  const DateTime margin = platform::AddMinutes(now, -kMarginMinutes);
  c.begin_red = ToMs(begin) < ToMs(margin);
  c.end_red = ToMs(begin) >= ToMs(end);
  return c;
}

Repetition RepetitionOnOpening(int32_t repeated_org, DateTime begin) {
  Repetition r;
  if (repeated_org <= 0) return r;
  r.repeated = true;
  ApplyRepetitionRule(true, r.days, begin);
  for (int i = 0; i < kDayBoxes; ++i) {
    if (repeated_org & (1 << i)) r.days[static_cast<size_t>(i)] = true;
  }
  return r;
}

bool ApplyRepetitionRule(bool repeated, DayBoxes& days, DateTime begin) {
  if (!repeated) return false;
  bool any = false;
  for (bool d : days)
    any = any || d;
  if (!any) days[static_cast<size_t>(WeekdayBox(begin))] = true;
  return true;
}

int32_t MaskFromBoxes(bool repeated, const DayBoxes& days) {
  if (!repeated) return 0;
  int32_t mask = 0;
  for (int i = 0; i < kDayBoxes; ++i) {
    if (days[static_cast<size_t>(i)]) mask |= 1 << i;
  }
  return mask;
}

DateTime EndAfter(DateTime begin, int minutes) {
  return platform::AddMinutes(begin, minutes);
}

}  // namespace tivolo::ui
