// Any TZ text maps to a zone whose conversions stay finite and whose rules are well formed.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/time_zone.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tivolo::platform;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string problem;
  ClockSettings settings;
  settings.time_zone = ParsePosixTz(text, &problem);
  const TimeZoneInfo& tz = settings.time_zone;
  const bool daylight = tz.daylight_date.month != 0;
  if (daylight != (tz.standard_date.month != 0)) std::abort();
  if (daylight && !problem.empty()) std::abort();
  for (const SystemTime* rule : {&tz.daylight_date, &tz.standard_date}) {
    if (rule->month > 12 || rule->day > 5 || rule->day_of_week > 6 || rule->minute > 59 ||
        rule->second > 59) {
      std::abort();
    }
  }
  for (int32_t s : {0, 1136073600, 1193533200, 1325375999, 2147483647}) {
    const DateTime local = UtcToLocal(EpochToDateTime(s), settings);
    const DateTime back = LocalToUtc(local, settings);
    if (!std::isfinite(local) || !std::isfinite(back)) std::abort();
  }
  return 0;
}
