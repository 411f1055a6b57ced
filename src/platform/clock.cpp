#include "platform/clock.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tivolo::platform {
namespace {

constexpr long double kSecondsPerDay = 86400.0L;

// Days since 1970-01-01 of a proleptic Gregorian date (any month/day overflow is not
// normalised; callers pass real dates).
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

constexpr void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

// Day numbers of the date-time scale whose calendar year lies in 1..9999.
constexpr double kFirstDay = -693593.0;  // 0001-01-01
constexpr double kLastDay = 2958466.0;   // 10000-01-01

bool InCalendar(DateTime x) {
  return x >= kFirstDay && x < kLastDay;
}

int64_t DayNumber(DateTime x) {
  return static_cast<int64_t>(std::floor(x));
}

// Both sides of a transition come out of separately rounded sums, so the same instant can
// differ in the last bits; instants less than half a millisecond apart count as equal.
constexpr double kHalfMillisecond = 0.0005 / 86400.0;

bool NotBefore(DateTime a, DateTime b) {
  return a - b > -kHalfMillisecond;
}

bool IsDaylightRule(const TimeZoneInfo& tz) {
  return tz.standard_date.month >= 1 && tz.standard_date.month <= 12 &&
         tz.daylight_date.month >= 1 && tz.daylight_date.month <= 12;
}

// Whether the instant x lies in daylight time: from d (the start) up to s_end (the end),
// both given in the frame of x.
bool InDaylight(DateTime x, DateTime d, DateTime s_end) {
  const bool after_start = NotBefore(x, d);
  const bool before_end = !NotBefore(x, s_end);
  if (NotBefore(s_end, d)) return after_start && before_end;
  // Southern hemisphere: daylight time spans the new year.
  return before_end || after_start;
}

bool IsLeapYear(int64_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

bool SameRule(const SystemTime& a, const SystemTime& b) {
  return a.month == b.month && a.day_of_week == b.day_of_week && a.day == b.day &&
         a.hour == b.hour && a.minute == b.minute && a.second == b.second;
}

// The two transition moments of a year; conversions of nearby moments ask for the same year
// and rules over and over, so the last answer is kept per thread.
struct Transitions {
  DateTime start;  // TransitionMoment(year, daylight_date): a standard wall time
  DateTime end;    // TransitionMoment(year, standard_date): a daylight wall time
};

Transitions TransitionsOf(int year, const TimeZoneInfo& tz) {
  struct Cache {
    bool valid = false;
    int year = 0;
    SystemTime standard_date;
    SystemTime daylight_date;
    Transitions transitions{};
  };
  thread_local Cache cache;
  if (!cache.valid || cache.year != year || !SameRule(cache.standard_date, tz.standard_date) ||
      !SameRule(cache.daylight_date, tz.daylight_date)) {
    const auto y = static_cast<uint16_t>(year);
    cache.transitions = {TransitionMoment(y, tz.daylight_date),
                         TransitionMoment(y, tz.standard_date)};
    cache.year = year;
    cache.standard_date = tz.standard_date;
    cache.daylight_date = tz.daylight_date;
    cache.valid = true;
  }
  return cache.transitions;
}

int YearOf(DateTime x) {
  int64_t y = 0;
  unsigned m = 0;
  unsigned d = 0;
  CivilFromDays(DayNumber(x) - static_cast<int64_t>(kUnixEpochDay), y, m, d);
  return static_cast<int>(y);
}

// The shift helpers, inlined for the conversions' own use.
inline DateTime ShiftSeconds(DateTime x, long double n) {
  return static_cast<DateTime>((static_cast<long double>(x) * kSecondsPerDay + n) / kSecondsPerDay);
}

inline DateTime ShiftMinutes(DateTime x, long double n) {
  return static_cast<DateTime>((static_cast<long double>(x) * 1440.0L + n) / 1440.0L);
}

constexpr double kHourFactor = 0.0416666666666666;

}  // namespace

DateTime EncodeDate(int year, int month, int day) {
  return static_cast<DateTime>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
      static_cast<int64_t>(kUnixEpochDay));
}

void DecodeDate(DateTime x, int& year, int& month, int& day) {
  int64_t y = 0;
  unsigned m = 0;
  unsigned d = 0;
  CivilFromDays(DayNumber(x) - static_cast<int64_t>(kUnixEpochDay), y, m, d);
  year = static_cast<int>(y);
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

int DayOfWeek(DateTime x) {
  // Day 0 (1899-12-30) was a Saturday.
  const int64_t n = DayNumber(x);
  return static_cast<int>(((n % 7) + 7 + 6) % 7);
}

DateTime EpochToDateTime(int32_t seconds) {
  return ShiftSeconds(kUnixEpochDay, seconds);
}

DateTime EpochSecondsToDateTime(int64_t seconds) {
  if (seconds >= std::numeric_limits<int32_t>::min() &&
      seconds <= std::numeric_limits<int32_t>::max()) {
    return EpochToDateTime(static_cast<int32_t>(seconds));
  }
  return AddSeconds(kUnixEpochDay, static_cast<long double>(seconds));
}

int64_t DateTimeToEpoch(DateTime utc) {
  const long double seconds = (static_cast<long double>(utc) - 25569.0L) * kSecondsPerDay;
  constexpr long double kLimit = 9.0e18L;
  if (std::isnan(seconds)) return 0;
  if (seconds >= kLimit) return std::numeric_limits<int64_t>::max();
  if (seconds <= -kLimit) return std::numeric_limits<int64_t>::min();
  constexpr long double kFast = 4.0e15L;  // whole numbers below this convert exactly to double
  if (seconds > -kFast && seconds < kFast) {
    // Round half away from zero, like llroundl, without its library call: adding and
    // removing 2^63 leaves the nearest whole number (ties to even), then ties are fixed.
    constexpr long double kMagic = 9223372036854775808.0L;
    const long double magnitude = seconds < 0 ? -seconds : seconds;
    long double whole = (magnitude + kMagic) - kMagic;
    if (whole - magnitude == -0.5L) whole += 1.0L;
    const auto result = static_cast<int64_t>(static_cast<double>(whole));
    return seconds < 0 ? -result : result;
  }
  return std::llroundl(seconds);
}

DateTime AddSeconds(DateTime x, long double n) {
  return static_cast<DateTime>((static_cast<long double>(x) * kSecondsPerDay + n) / kSecondsPerDay);
}

DateTime AddMinutes(DateTime x, long double n) {
  return ShiftMinutes(x, n);
}

DateTime AddHours(DateTime x, long double n) {
  return static_cast<DateTime>((static_cast<long double>(x) * 24.0L + n) / 24.0L);
}

DateTime TransitionMoment(uint16_t year, const SystemTime& rule) {
  int64_t day = 0;  // 30 December 1899 when the rule cannot be placed
  if (rule.month >= 1 && rule.month <= 12 && rule.day_of_week <= 6 && rule.day >= 1 &&
      rule.day <= 5) {
    const int64_t first = DaysFromCivil(year, rule.month, 1) + static_cast<int64_t>(kUnixEpochDay);
    const int first_dow = DayOfWeek(static_cast<DateTime>(first));
    day = first + (rule.day_of_week - first_dow + 7) % 7;
    if (rule.day < 5) {
      day += 7 * (rule.day - 1);
    } else {
      // The last one: five weeks on when the month still holds that day, else four.
      day += (day - first) + 28 < DaysInMonth(year, rule.month) ? 28 : 21;
    }
  }
  const long double time_of_day =
      static_cast<long double>(rule.hour) * 3600.0L + rule.minute * 60.0L + rule.second;
  return ShiftSeconds(static_cast<DateTime>(day), time_of_day);
}

DateTime UtcToLocal(DateTime utc, const ClockSettings& settings) {
  if (!settings.utc_auto) {
    const double shift = settings.utc_offset * kHourFactor;
    return utc + shift;
  }
  const TimeZoneInfo& tz = settings.time_zone;
  const DateTime m = ShiftMinutes(utc, -static_cast<long double>(tz.bias));
  if (!IsDaylightRule(tz) || !InCalendar(utc)) {
    return ShiftMinutes(m, -static_cast<long double>(tz.standard_bias));
  }
  const Transitions t = TransitionsOf(YearOf(utc), tz);
  // The end is a daylight wall time; bring it to the standard frame of m.
  const DateTime end =
      ShiftMinutes(t.end, static_cast<long double>(tz.daylight_bias - tz.standard_bias));
  const bool daylight = InDaylight(m, t.start, end);
  return ShiftMinutes(m, -static_cast<long double>(daylight ? tz.daylight_bias : tz.standard_bias));
}

DateTime LocalToUtc(DateTime local, const ClockSettings& settings) {
  if (!settings.utc_auto) {
    const double shift = settings.utc_offset * kHourFactor;
    return local - shift;
  }
  const TimeZoneInfo& tz = settings.time_zone;
  const DateTime b = ShiftMinutes(local, static_cast<long double>(tz.bias));
  if (!IsDaylightRule(tz) || !InCalendar(local)) {
    return ShiftMinutes(b, static_cast<long double>(tz.standard_bias));
  }
  // A wall time in the repeated hour before the end counts as daylight time (the earlier
  // moment); one in the skipped hour after the start too.
  const Transitions t = TransitionsOf(YearOf(local), tz);
  const bool daylight = InDaylight(local, t.start, t.end);
  return ShiftMinutes(b, static_cast<long double>(daylight ? tz.daylight_bias : tz.standard_bias));
}

DateTime LocalToUtcAhead(DateTime local, const ClockSettings& settings, DateTime ahead_of) {
  const DateTime first = LocalToUtc(local, settings);
  if (!settings.utc_auto || NotBefore(first, ahead_of)) return first;
  // The other reading, if the wall time has one, is under the other bias.
  const TimeZoneInfo& tz = settings.time_zone;
  const DateTime b = ShiftMinutes(local, static_cast<long double>(tz.bias));
  for (const int32_t bias : {tz.standard_bias, tz.daylight_bias}) {
    const DateTime other = ShiftMinutes(b, static_cast<long double>(bias));
    if (!NotBefore(first, other) && NotBefore(other, ahead_of) &&
        std::abs(UtcToLocal(other, settings) - local) < kHalfMillisecond) {
      return other;
    }
  }
  return first;
}

DateTime EndAheadOf(DateTime begin_utc, DateTime now_utc) {
  return std::max(ShiftSeconds(begin_utc, 1), now_utc);
}

}  // namespace tivolo::platform
