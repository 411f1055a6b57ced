// The system's time-zone rules in the form the clock works with: a bias in minutes and one
// standard and one daylight rule ("the n-th weekday of a month at a local time").
#pragma once

#include <cstdint>
#include <string>

namespace tivolo::platform {

struct SystemTime {
  uint16_t year = 0;
  uint16_t month = 0;        // 1..12; 0 means the zone has no daylight saving time
  uint16_t day_of_week = 0;  // 0 = Sunday
  uint16_t day = 0;          // occurrence in the month, 1..4, 5 = the last one
  int16_t hour = 0;          // may lie outside 0..23 (POSIX "/-1", "/25")
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};

struct TimeZoneInfo {
  int32_t bias = 0;  // minutes; UTC = local standard time + bias
  SystemTime standard_date;
  int32_t standard_bias = 0;
  SystemTime daylight_date;
  int32_t daylight_bias = 0;
};

// Reads the zone from TZ when set (a zone file name, optionally after ":", or a POSIX rule
// string), otherwise /etc/localtime; the zone file's rule string gives the current rules.
// Anything that cannot be used leaves a zone without daylight time (or UTC), and *problem
// (when given) says why for the start-up log; it is empty otherwise.
TimeZoneInfo ReadSystemTimeZone(std::string* problem = nullptr);

// Parses a POSIX TZ rule string such as "CET-1CEST,M3.5.0,M10.5.0/3". A form that cannot be
// mapped gives a zone without daylight time; *problem (when given) then says why.
TimeZoneInfo ParsePosixTz(const std::string& tz, std::string* problem = nullptr);

}  // namespace tivolo::platform
