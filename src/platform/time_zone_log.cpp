#include "platform/time_zone_log.h"

#include <cmath>
#include <cstdio>

namespace tivolo::platform {
namespace {

std::string Format(const char* format, int a, int b, int c, int d, int e, int f, int g) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, format, a, b, c, d, e, f, g);
  return buffer;
}

std::string RuleLine(const char* label, const SystemTime& rule) {
  return std::string(label) + Format("%d  %02d-%02d-%04d  %d  %02d:%02d", rule.day_of_week,
                                     rule.day, rule.month, rule.year, rule.day_of_week, rule.hour,
                                     rule.minute);
}

}  // namespace

std::string DateTimeText(DateTime x, const LongTimeFormatter& long_time) {
  // Whole seconds of the day, rounded so that 02:00 computed in floating point reads 02:00:00.
  const long double day = std::floor(static_cast<long double>(x));
  auto seconds = static_cast<long>(std::llround((static_cast<long double>(x) - day) * 86400.0L));
  long double date = day;
  if (seconds >= 86400) {
    seconds -= 86400;
    date += 1;
  }
  const int h = static_cast<int>(seconds / 3600);
  const int n = static_cast<int>(seconds / 60 % 60);
  const int s = static_cast<int>(seconds % 60);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", h, n, s);
  const std::string time = long_time ? long_time(h, n, s) : std::string(buffer);
  int year = 0;
  int month = 0;
  int mday = 0;
  DecodeDate(static_cast<DateTime>(date), year, month, mday);
  std::snprintf(buffer, sizeof buffer, "%02d-%02d-%04d", mday, month, year);
  const std::string date_text = buffer;
  if (seconds == 0) return date_text;
  if (x >= 0 && x < 1) return time;
  return date_text + " " + time;
}

std::vector<std::string> TimeZoneLogLines(const TimeZoneInfo& tz, const std::string& problem,
                                          const LongTimeFormatter& long_time) {
  std::vector<std::string> lines;
  if (!problem.empty()) lines.push_back(problem);
  lines.push_back("TimeZoneInformation.Bias: " + std::to_string(tz.bias));
  lines.push_back("TimeZoneInformation.StandardBias: " + std::to_string(tz.standard_bias));
  lines.push_back("TimeZoneInformation.DaylightBias: " + std::to_string(tz.daylight_bias));
  const bool daylight = tz.standard_date.month >= 1 && tz.standard_date.month <= 12 &&
                        tz.daylight_date.month >= 1 && tz.daylight_date.month <= 12;
  if (daylight) {
    lines.push_back(DateTimeText(TransitionMoment(2006, tz.standard_date), long_time));
    lines.push_back(DateTimeText(TransitionMoment(2006, tz.daylight_date), long_time));
  } else {
    lines.push_back("The time zone has no daylight saving time");
  }
  lines.push_back(RuleLine("StandardDate: ", tz.standard_date));
  lines.push_back(RuleLine("DaylightDate: ", tz.daylight_date));
  return lines;
}

}  // namespace tivolo::platform
