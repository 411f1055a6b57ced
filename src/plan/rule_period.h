// The local time of a programme's begin as the series rules' checks need it, and the
// counter's periods, which the rule plugin makes with strftime from the begin.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tivolo::plan {

// A programme's begin on the box's clock.
struct LocalTime {
  int weekday = 0;  // 0 Monday
  int hour = 0;
  int minute = 0;
  int64_t days = 0;  // since 1 January 1970
};

// The period of `format` (strftime's fields of a date: %Y %y %m %d %j %U %W, and %%; any
// other is kept as written) for the day of `local`.
std::string FormatPeriod(std::string_view format, const LocalTime& local);

}  // namespace tivolo::plan
