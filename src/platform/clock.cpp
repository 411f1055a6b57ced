#include "platform/clock.h"

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
// differ in the last bit; comparing whole milliseconds makes equal instants compare equal.
int64_t Millis(DateTime x) {
  return std::llround(static_cast<long double>(x) * 86400000.0L);
}

bool IsDaylightRule(const TimeZoneInfo& tz) {
  return tz.standard_date.month >= 1 && tz.standard_date.month <= 12 &&
         tz.daylight_date.month >= 1 && tz.daylight_date.month <= 12;
}

// Whether the instant x, given in the frame of the rules' wall clocks, lies in daylight time.
// d is the start (standard wall time), s_end the end expressed in the same frame as x.
bool InDaylight(int64_t x, int64_t d, int64_t s_end) {
  if (d <= s_end) return d <= x && x < s_end;
  // Southern hemisphere: daylight time spans the new year.
  return x < s_end || x >= d;
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
  return AddSeconds(kUnixEpochDay, seconds);
}

int64_t DateTimeToEpoch(DateTime utc) {
  const long double seconds = (static_cast<long double>(utc) - 25569.0L) * kSecondsPerDay;
  constexpr long double kLimit = 9.0e18L;
  if (std::isnan(seconds)) return 0;
  if (seconds >= kLimit) return std::numeric_limits<int64_t>::max();
  if (seconds <= -kLimit) return std::numeric_limits<int64_t>::min();
  return std::llroundl(seconds);
}

DateTime AddSeconds(DateTime x, long double n) {
  return static_cast<DateTime>((static_cast<long double>(x) * kSecondsPerDay + n) / kSecondsPerDay);
}

DateTime AddMinutes(DateTime x, long double n) {
  return static_cast<DateTime>((static_cast<long double>(x) * 1440.0L + n) / 1440.0L);
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
      int64_t y = 0;
      unsigned m = 0;
      unsigned d = 0;
      CivilFromDays(day + 28 - static_cast<int64_t>(kUnixEpochDay), y, m, d);
      day += m == rule.month ? 28 : 21;
    }
  }
  const long double time_of_day =
      static_cast<long double>(rule.hour) * 3600.0L + rule.minute * 60.0L + rule.second;
  return AddSeconds(static_cast<DateTime>(day), time_of_day);
}

DateTime UtcToLocal(DateTime utc, const ClockSettings& settings) {
  if (!settings.utc_auto) {
    const double shift = settings.utc_offset * kHourFactor;
    return utc + shift;
  }
  const TimeZoneInfo& tz = settings.time_zone;
  const DateTime m = AddMinutes(utc, -static_cast<long double>(tz.bias));
  if (!IsDaylightRule(tz) || !InCalendar(utc)) {
    return AddMinutes(m, -static_cast<long double>(tz.standard_bias));
  }
  int year = 0;
  int month = 0;
  int day = 0;
  DecodeDate(utc, year, month, day);
  const auto y = static_cast<uint16_t>(year);
  // S is a daylight wall time; bring it to the standard frame of m.
  const DateTime s = AddMinutes(TransitionMoment(y, tz.standard_date),
                                static_cast<long double>(tz.daylight_bias - tz.standard_bias));
  const DateTime d = TransitionMoment(y, tz.daylight_date);
  const bool daylight = InDaylight(Millis(m), Millis(d), Millis(s));
  return AddMinutes(m, -static_cast<long double>(daylight ? tz.daylight_bias : tz.standard_bias));
}

DateTime LocalToUtc(DateTime local, const ClockSettings& settings) {
  if (!settings.utc_auto) {
    const double shift = settings.utc_offset * kHourFactor;
    return local - shift;
  }
  const TimeZoneInfo& tz = settings.time_zone;
  const DateTime b = AddMinutes(local, static_cast<long double>(tz.bias));
  if (!IsDaylightRule(tz) || !InCalendar(local)) {
    return AddMinutes(b, static_cast<long double>(tz.standard_bias));
  }
  int year = 0;
  int month = 0;
  int day = 0;
  DecodeDate(local, year, month, day);
  const auto y = static_cast<uint16_t>(year);
  // A wall time in the repeated hour before S counts as daylight time (the earlier moment).
  const DateTime s = TransitionMoment(y, tz.standard_date);
  const DateTime d = TransitionMoment(y, tz.daylight_date);
  const bool daylight = InDaylight(Millis(local), Millis(d), Millis(s));
  return AddMinutes(b, static_cast<long double>(daylight ? tz.daylight_bias : tz.standard_bias));
}

}  // namespace tivolo::platform
