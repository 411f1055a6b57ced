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

DateTime EpochToDateTime(int32_t seconds);
int64_t DateTimeToEpoch(DateTime utc);
DateTime UtcToLocal(DateTime utc, const ClockSettings& settings);
DateTime LocalToUtc(DateTime local, const ClockSettings& settings);

// Local date-time of a rule's change in the given year.
DateTime TransitionMoment(uint16_t year, const SystemTime& rule);

// Shift helpers, computed in long double and rounded once.
DateTime AddSeconds(DateTime x, long double n);
DateTime AddMinutes(DateTime x, long double n);
DateTime AddHours(DateTime x, long double n);

}  // namespace tivolo::platform
