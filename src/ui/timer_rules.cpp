#include "ui/timer_rules.h"

#include <algorithm>
#include <cmath>

#include "boxdata/box_tables.h"
#include "platform/code_page.h"

namespace tivolo::ui {
namespace {

namespace fields = boxdata::fields;

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

DateTime FromMs(int64_t ms) {
  return static_cast<DateTime>(static_cast<long double>(ms) / kMsPerDay);
}

// Floor division, for times before 1899 as well.
int64_t FloorTo(int64_t ms, int64_t unit) {
  return ms - ((ms % unit) + unit) % unit;
}

}  // namespace

DateTime WholeMinute(DateTime x) {
  return FromMs(FloorTo(ToMs(x), kMsPerMinute));
}

DateTime WallTimeAfter(DateTime utc, int minutes, const platform::ClockSettings& clock) {
  return WholeMinute(platform::UtcToLocal(platform::AddMinutes(utc, minutes), clock));
}

int WeekdayBox(DateTime x) {
  return (platform::DayOfWeek(x) + 6) % 7;
}

DateTime DefaultBegin(DateTime now_local, DateTime last_saved_end) {
  const int64_t now_ms = ToMs(now_local);
  int64_t p_ms = FloorTo(now_ms, kMsPerDay) + kEveningMs;
  if (p_ms < now_ms || (p_ms - now_ms) / kMsPerHour > kFarAheadHours) p_ms = now_ms;
  // Up to the next whole ten minutes; a begin typed or picked has no seconds, and neither has
  // the one offered.
  const int64_t step = kRoundMinutes * kMsPerMinute;
  const int64_t minute_ms = FloorTo(p_ms, kMsPerMinute);
  p_ms = FloorTo(minute_ms + step - 1, step);
  if (last_saved_end > now_local) p_ms = FloorTo(ToMs(last_saved_end), kMsPerMinute);
  return FromMs(p_ms);
}

namespace {

// What every new timer starts with besides its times.
void FillChannelAndFlags(store::MemTable& timers, const std::string& zender,
                         const std::string& service) {
  timers.FieldNamed(fields::kZender).SetAsString(zender);
  timers.FieldNamed(fields::kServiceref).SetAsString(service);
  timers.FieldNamed(fields::kRepeatedOrg).SetAsLargeInt(0);
  timers.FieldNamed(fields::kAfterevent).SetAsString("nothing");
  timers.FieldNamed(fields::kJustplay).SetAsLargeInt(0);
  timers.FieldNamed(fields::kDisabled).SetAsLargeInt(0);
}

}  // namespace

void FillNewTimer(store::MemTable& timers, const std::string& zender, const std::string& service,
                  const ClockNow& now, DateTime last_saved_end) {
  const DateTime begin = DefaultBegin(now.Local(), last_saved_end);
  const DateTime begin_utc = platform::LocalToUtcAhead(begin, now.clock, now.utc);
  FillChannelAndFlags(timers, zender, service);
  timers.FieldNamed(fields::kBegin).SetAsDateTime(begin);
  timers.FieldNamed(fields::kEnd)
      .SetAsDateTime(WallTimeAfter(begin_utc, kDefaultMinutes, now.clock));
  timers.FieldNamed(fields::kEit).SetAsLargeInt(kDefaultEit);
}

void FillTimerForEvent(store::MemTable& timers, const std::string& zender,
                       const std::string& service, const boxdata::TimerFromEvent& timer) {
  FillChannelAndFlags(timers, zender, service);
  // Read-back values, as for a timer read from the box: while the user leaves a time as it
  // is, the writer keeps its exact instant instead of reading the wall time again.
  timers.FieldNamed(fields::kBegin).SetAsDateTime(timer.begin);
  timers.FieldNamed(fields::kBeginRead).SetAsDateTime(timer.begin);
  timers.FieldNamed(fields::kBeginSeconds).SetAsLargeInt(timer.begin_seconds);
  timers.FieldNamed(fields::kEnd).SetAsDateTime(timer.end);
  timers.FieldNamed(fields::kEndRead).SetAsDateTime(timer.end);
  timers.FieldNamed(fields::kEndSeconds).SetAsLargeInt(timer.end_seconds);
  timers.FieldNamed(fields::kName).SetAsString(platform::CodePage::System().FromUtf8(timer.name));
  timers.FieldNamed(fields::kDescription).SetAsString(timer.description);
  timers.FieldNamed(fields::kEit).SetAsLargeInt(timer.eit);
}

TimerInstants InstantsOf(const store::RecordBuffer& record, const boxdata::TimerTimeFields& fields,
                         const ClockNow& now) {
  const boxdata::TimerSeconds s = boxdata::WrittenSeconds(record, fields, now.clock, now.utc);
  return {platform::EpochSecondsToDateTime(s.begin), platform::EpochSecondsToDateTime(s.end)};
}

TimerValidity ColourRule(const TimerInstants& t, bool begin_changed, DateTime now_utc) {
  TimerValidity v;
  const DateTime earliest = platform::AddMinutes(now_utc, -kMarginMinutes);
  v.begin_red = begin_changed && ToMs(t.begin) < ToMs(earliest);
  v.end_red = ToMs(t.begin) >= ToMs(t.end);
  return v;
}

TimerValidity CheckTimer(const store::RecordBuffer& record, const boxdata::TimerTimeFields& fields,
                         const std::string& serviceref, bool begin_changed, const ClockNow& now) {
  TimerValidity v = ColourRule(InstantsOf(record, fields, now), begin_changed, now.utc);
  v.no_channel = std::all_of(serviceref.begin(), serviceref.end(),
                             [](char c) { return static_cast<unsigned char>(c) <= ' '; });
  return v;
}

std::string RefusalReason(const TimerValidity& validity) {
  if (validity.begin_red) return "Begin lies in the past";
  if (validity.end_red) return "End is not after Begin";
  if (validity.name_missing) return "The box's web interface takes no timer without a name";
  return {};
}

boxdata::TimerFromEvent FromNowOn(boxdata::TimerFromEvent timer, const ClockNow& now) {
  constexpr int64_t kMinuteSeconds = 60;
  const int64_t now_seconds = platform::DateTimeToEpoch(now.utc);
  if (timer.begin_seconds >= now_seconds) return timer;
  timer.begin_seconds = now_seconds - now_seconds % kMinuteSeconds;
  timer.begin =
      platform::UtcToLocal(platform::EpochSecondsToDateTime(timer.begin_seconds), now.clock);
  return timer;
}

DateTime EnteredValue(DateTime shown, DateTime opened) {
  return ToMs(shown) == ToMs(opened) ? shown : WholeMinute(shown);
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

}  // namespace tivolo::ui
