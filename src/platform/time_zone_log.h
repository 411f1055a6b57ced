// The start-up log's lines about the time zone, for the main window to append to its log.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/time_zone.h"

namespace tivolo::platform {

// Date-time text as the log shows it: "dd-mm-yyyy" when the time of day is zero, the time
// alone when the value is less than one day, otherwise the date, a blank and the time in
// the long time format ("hh:nn:ss" unless the caller formats it).
using LongTimeFormatter = std::function<std::string(int hour, int minute, int second)>;
std::string DateTimeText(DateTime x, const LongTimeFormatter& long_time = {});

// The bias lines, the standard and daylight transition moments of 2006 (or, for a zone
// without daylight saving time, a line saying so), and the two rule lines. A problem met
// while reading the zone (ReadSystemTimeZone) comes first when not empty.
std::vector<std::string> TimeZoneLogLines(const TimeZoneInfo& tz, const std::string& problem = {},
                                          const LongTimeFormatter& long_time = {});

}  // namespace tivolo::platform
