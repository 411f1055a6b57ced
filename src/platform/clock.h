// Box times are whole seconds since 1970 UTC; the program shows and edits local date-times
// (days since 30 December 1899, the fraction being the time of day). This converts between
// them with the system's time-zone rules or a fixed offset in hours.
#pragma once

#include <cstdint>

#include "platform/time_zone.h"

namespace tivolo::platform {

// Days since 1899-12-30 00:00; 1970-01-01 00:00 is 25569.
using DateTime = double;

inline constexpr DateTime kUnixEpochDay = 25569.0;

// Which offset the conversions apply: the zone's rules when utc_auto, otherwise a fixed
// utc_offset hours (local = UTC + utc_offset).
struct ClockSettings {
  bool utc_auto = true;
  int32_t utc_offset = 0;
  TimeZoneInfo time_zone;
};

// Calendar helpers (proleptic Gregorian). EncodeDate gives the date's midnight; DecodeDate
// takes the date part of x (floor); DayOfWeek is 0 for Sunday.
DateTime EncodeDate(int year, int month, int day);
void DecodeDate(DateTime x, int& year, int& month, int& day);
int DayOfWeek(DateTime x);

DateTime EpochToDateTime(int32_t seconds);
// The same for any second count (those beyond 32 bits through AddSeconds).
DateTime EpochSecondsToDateTime(int64_t seconds);
int64_t DateTimeToEpoch(DateTime utc);
DateTime UtcToLocal(DateTime utc, const ClockSettings& settings);
DateTime LocalToUtc(DateTime local, const ClockSettings& settings);

// The instant a wall-clock time stands for, read as LocalToUtc reads it unless that reading
// lies before `ahead_of` and the wall time has a later reading that does not: a time in the
// repeated hour at the end of daylight time means the moment still to come. Every place
// where a local time becomes an instant (the editor's rules, the timer list writer, the check
// of what was written) reads it this way, with the same `ahead_of`.
DateTime LocalToUtcAhead(DateTime local, const ClockSettings& settings, DateTime ahead_of);

// What a timer's end is read ahead of: one second after its begin (an end is after the begin
// it belongs to) and now.
DateTime EndAheadOf(DateTime begin_utc, DateTime now_utc);

// In automatic mode daylight time holds from the daylight rule's moment (a standard wall
// time) until the standard rule's moment (a daylight wall time); when the daylight moment lies
// later in the year (southern hemisphere) it holds outside that interval. A wall time in the
// repeated hour counts as daylight time. A zone whose rules have month 0 uses Bias +
// StandardBias all year.

// Local date-time of a rule's change in the given year: the rule's day-of-week, its
// occurrence (1..4, 5 = the last one) and its time of day, which may lie outside 0..24 hours.
// A rule that cannot be placed (month 0, day outside 1..5) gives the date part 0.
DateTime TransitionMoment(uint16_t year, const SystemTime& rule);

// Shift helpers, computed in long double and rounded once.
DateTime AddSeconds(DateTime x, long double n);
DateTime AddMinutes(DateTime x, long double n);
DateTime AddHours(DateTime x, long double n);

}  // namespace tivolo::platform
