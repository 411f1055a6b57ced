// Date and time texts for fields and bound controls. The settings are process-wide and set
// once at start-up (separators, formats, the locale's day and month names).
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "store/types.h"

namespace tivolo::store {

struct FormatSettings {
  char date_separator = '-';
  char time_separator = ':';
  std::string short_date_format = "dd-mm-yyyy";
  std::string long_date_format = "dd-mm-yyyy";
  std::string short_time_format = "hh:nn";
  std::string long_time_format = "hh:nn:ss";
  // Sunday first.
  std::array<std::string, 7> short_day_names = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> long_day_names = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                               "Thursday", "Friday", "Saturday"};
  std::array<std::string, 12> short_month_names = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> long_month_names = {"January",   "February", "March",    "April",
                                                  "May",       "June",     "July",     "August",
                                                  "September", "October",  "November", "December"};
};

// The process-wide settings; change them only at start-up.
FormatSettings& DefaultFormatSettings();

// Formats value by pattern: d dd ddd dddd (day, day name), ddddd (short date), m mm mmm mmmm
// (month; minutes right after an hour), yy yyyy, h hh, n nn (minutes), s ss, z zzz, c (short
// date and long time, the time left out at midnight), t tt (short and long time), "/" and ":"
// (the separators), and literal text in single or double quotes. Other characters are copied.
std::string FormatDateTime(std::string_view pattern, DateTime value,
                           const FormatSettings& settings = DefaultFormatSettings());

// Calendar parts of a date-time value (proleptic Gregorian).
struct DateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, msec = 0;
  int day_of_week = 6;  // 0 = Sunday
};
DateParts DecodeDateTime(DateTime value);
DateTime EncodeDateTime(const DateParts& parts);  // day_of_week ignored

}  // namespace tivolo::store
