#include "store/date_format.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tivolo::store {

namespace {

// Days since 1970-01-01 for a proleptic Gregorian date, and back (H. Hinnant's algorithms).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

constexpr int64_t kEpochDay = 25569;  // 1970-01-01 in days since 1899-12-30

std::string Pad(int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  return buf;
}

bool Lower(char c, char want) {
  return c == want || c == want - 'a' + 'A';
}

size_t RunLength(std::string_view s, size_t i, char want) {
  size_t n = 0;
  while (i + n < s.size() && Lower(s[i + n], want))
    ++n;
  return n;
}

}  // namespace

FormatSettings& DefaultFormatSettings() {
  static FormatSettings settings;
  return settings;
}

DateParts DecodeDateTime(DateTime value) {
  DateParts p;
  if (!std::isfinite(value)) return p;
  double whole = std::trunc(value);
  int64_t msec = std::llround(std::fabs(value - whole) * 86400000.0);
  int64_t days = static_cast<int64_t>(whole);
  if (msec >= 86400000) {
    msec -= 86400000;
    days += value < 0 ? -1 : 1;
  }
  CivilFromDays(days - kEpochDay, p.year, p.month, p.day);
  p.hour = static_cast<int>(msec / 3600000);
  p.minute = static_cast<int>(msec / 60000 % 60);
  p.second = static_cast<int>(msec / 1000 % 60);
  p.msec = static_cast<int>(msec % 1000);
  int64_t dow = (days - kEpochDay + 4) % 7;  // 1970-01-01 was a Thursday
  p.day_of_week = static_cast<int>(dow < 0 ? dow + 7 : dow);
  return p;
}

DateTime EncodeDateTime(const DateParts& p) {
  double days = static_cast<double>(
      DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) +
      kEpochDay);
  double time = (p.hour * 3600000.0 + p.minute * 60000.0 + p.second * 1000.0 + p.msec) / 86400000.0;
  return days < 0 ? days - time : days + time;
}

std::string FormatDateTime(std::string_view pattern, DateTime value,
                           const FormatSettings& settings) {
  DateParts p = DecodeDateTime(value);
  std::string out;
  bool after_hour = false;  // "m" right after an hour means minutes
  size_t i = 0;
  while (i < pattern.size()) {
    char c = pattern[i];
    if (c == '\'' || c == '"') {
      size_t end = pattern.find(c, i + 1);
      if (end == std::string_view::npos) end = pattern.size();
      out.append(pattern.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    if (Lower(c, 'd')) {
      size_t n = RunLength(pattern, i, 'd');
      if (n == 1) out += std::to_string(p.day);
      if (n == 2) out += Pad(p.day, 2);
      if (n == 3) out += settings.short_day_names[p.day_of_week];
      if (n == 4) out += settings.long_day_names[p.day_of_week];
      if (n == 5) out += FormatDateTime(settings.short_date_format, value, settings);
      if (n >= 6) out += FormatDateTime(settings.long_date_format, value, settings);
      i += n;
      after_hour = false;
      continue;
    }
    if (Lower(c, 'm')) {
      size_t n = RunLength(pattern, i, 'm');
      if (after_hour && n <= 2) {
        out += n == 1 ? std::to_string(p.minute) : Pad(p.minute, 2);
      } else {
        if (n == 1) out += std::to_string(p.month);
        if (n == 2) out += Pad(p.month, 2);
        if (n == 3) out += settings.short_month_names[p.month - 1];
        if (n >= 4) out += settings.long_month_names[p.month - 1];
      }
      i += n;
      after_hour = false;
      continue;
    }
    if (Lower(c, 'y')) {
      size_t n = RunLength(pattern, i, 'y');
      out += n <= 2 ? Pad(p.year % 100, 2) : Pad(p.year, 4);
      i += n;
      continue;
    }
    if (Lower(c, 'h')) {
      size_t n = RunLength(pattern, i, 'h');
      out += n == 1 ? std::to_string(p.hour) : Pad(p.hour, 2);
      i += n;
      after_hour = true;
      continue;
    }
    if (Lower(c, 'n')) {
      size_t n = RunLength(pattern, i, 'n');
      out += n == 1 ? std::to_string(p.minute) : Pad(p.minute, 2);
      i += n;
      after_hour = false;
      continue;
    }
    if (Lower(c, 's')) {
      size_t n = RunLength(pattern, i, 's');
      out += n == 1 ? std::to_string(p.second) : Pad(p.second, 2);
      i += n;
      after_hour = false;
      continue;
    }
    if (Lower(c, 'z')) {
      size_t n = RunLength(pattern, i, 'z');
      out += n >= 3 ? Pad(p.msec, 3) : std::to_string(p.msec);
      i += n;
      continue;
    }
    if (Lower(c, 'c')) {
      out += FormatDateTime(settings.short_date_format, value, settings);
      if (p.hour || p.minute || p.second || p.msec) {
        out += ' ';
        out += FormatDateTime(settings.long_time_format, value, settings);
      }
      ++i;
      continue;
    }
    if (Lower(c, 't')) {
      size_t n = RunLength(pattern, i, 't');
      out += FormatDateTime(n == 1 ? settings.short_time_format : settings.long_time_format, value,
                            settings);
      i += n;
      continue;
    }
    if (c == '/') {
      out += settings.date_separator;
    } else if (c == ':') {
      out += settings.time_separator;
    } else {
      out += c;
    }
    ++i;
  }
  return out;
}

}  // namespace tivolo::store
