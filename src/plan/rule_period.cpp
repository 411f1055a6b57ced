#include "plan/rule_period.h"

#include "platform/clock.h"

namespace tivolo::plan {
namespace {

// The date of a local day, for the counter's periods only.
struct LocalDate {
  int year = 1970, month = 1, day = 1;
  int year_day = 0;  // 0 for 1 January
};
LocalDate DateOf(int64_t days) {
  LocalDate d;
  const platform::DateTime date = platform::kUnixEpochDay + static_cast<double>(days);
  platform::DecodeDate(date, d.year, d.month, d.day);
  d.year_day = static_cast<int>(date - platform::EncodeDate(d.year, 1, 1));
  return d;
}

}  // namespace

// The plugin's counter periods are strftime texts of the begin; these are the fields a
// period can be made of (month, week, year, day).
std::string FormatPeriod(std::string_view format, const LocalTime& local) {
  std::string out;
  if (format.empty()) return out;
  const LocalDate t = DateOf(local.days);
  const int weekday = local.weekday;
  auto two = [&](int v) {
    out += static_cast<char>('0' + v / 10 % 10);
    out += static_cast<char>('0' + v % 10);
  };
  const int sunday_based = (weekday + 1) % 7;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      out += format[i];
      continue;
    }
    switch (format[++i]) {
      case 'Y':
        out += std::to_string(t.year);
        break;
      case 'y':
        two(t.year % 100);
        break;
      case 'm':
        two(t.month);
        break;
      case 'd':
        two(t.day);
        break;
      case 'j':
        out += static_cast<char>('0' + (t.year_day + 1) / 100);
        two((t.year_day + 1) % 100);
        break;
      case 'U':
        two((t.year_day + 7 - sunday_based) / 7);
        break;
      case 'W':
        two((t.year_day + 7 - weekday) / 7);
        break;
      case '%':
        out += '%';
        break;
      default:
        out += '%';
        out += format[i];
    }
  }
  return out;
}

}  // namespace tivolo::plan
