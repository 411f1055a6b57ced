// The clock with each test zone's rules read from the system: agreement with the C library in
// years where today's rules were in force, and the round trip of every second of 2006-2011.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/time_zone.h"
#include "zone_env.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TIVOLO_SLOW_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TIVOLO_SLOW_BUILD 1
#endif
#endif
#if !defined(TIVOLO_SLOW_BUILD) && !defined(NDEBUG) && !defined(__OPTIMIZE__)
#define TIVOLO_SLOW_BUILD 1
#endif

namespace tivolo::platform {
namespace {

using testing::LibcOffset;
using testing::ScopedTz;

struct Zone {
  const char* name;
  int first_year;  // first year in which the zone's present rules held
  bool daylight;   // whether the present rules have daylight saving time
};

const Zone kZones[] = {
    {"Europe/Amsterdam", 1996, true},   {"Australia/Sydney", 2008, true},
    {"America/Sao_Paulo", 2020, false}, {"America/Nuuk", 2024, true},
    {"Asia/Jerusalem", 2013, true},     {"UTC", 1970, false},
};

long long YearStart(int year) {
  return static_cast<long long>(EncodeDate(year, 1, 1) - kUnixEpochDay) * 86400;
}

class ZoneTest : public ::testing::TestWithParam<Zone> {
 public:
  void SetUp() override {
    std::string problem;
    settings_.time_zone = ReadSystemTimeZone(&problem);
    ASSERT_EQ(problem, "");
  }
  long long RoundTrip(long long s) const {
    return DateTimeToEpoch(
        LocalToUtc(UtcToLocal(EpochToDateTime(static_cast<int32_t>(s)), settings_), settings_));
  }
  long long LocalSeconds(long long s) const {
    return DateTimeToEpoch(UtcToLocal(EpochToDateTime(static_cast<int32_t>(s)), settings_));
  }

  ScopedTz tz_{GetParam().name};
  ClockSettings settings_;
};

TEST_P(ZoneTest, AgreesWithTheCLibrary) {
  // Every 10 minutes (hour in instrumented builds), and every second around each change of the C
  // library's offset.
  const long long begin = YearStart(std::max(GetParam().first_year, 2006));
  const long long end = YearStart(2038) - 86400;
  long previous = LibcOffset(begin);
  int changes = 0;
#ifdef TIVOLO_SLOW_BUILD
  const long long step = 3600;
#else
  const long long step = 600;
#endif
  for (long long s = begin; s < end; s += step) {
    const long offset = LibcOffset(s);
    ASSERT_EQ(LocalSeconds(s) - s, offset) << GetParam().name << " at " << s;
    if (offset != previous) {
      ++changes;
      for (long long t = s - 1200; t < s + 1200; ++t) {
        ASSERT_EQ(LocalSeconds(t) - t, LibcOffset(t)) << GetParam().name << " at " << t;
      }
    }
    previous = offset;
  }
  EXPECT_EQ(changes > 0, GetParam().daylight);
}

// Checks s..end in steps of step; a second that does not come back must lie in the repeated
// hour: it comes back one hour early, to a moment with the same wall time.
void CheckRoundTrips(const ZoneTest& test, long long begin, long long end, long long step,
                     std::vector<long long>& failures);

TEST_P(ZoneTest, EverySecondOf2006To2011ComesBackExceptInTheRepeatedHour) {
  std::vector<long long> failures;
  const auto started = std::chrono::steady_clock::now();
  // Every second, in optimised builds, for the zones with daylight time. Elsewhere every
  // second around each transition and each new year, and a dense sample in between: a second
  // can only fail to come back where the daylight decision changes.
#ifdef TIVOLO_SLOW_BUILD
  const bool every_second = false;
  const long long stride = 127;
#else
  const bool every_second = GetParam().daylight;
  const long long stride = 7;
#endif
  if (every_second) {
    CheckRoundTrips(*this, YearStart(2006), YearStart(2012), 1, failures);
  } else {
    for (int year = 2006; year <= 2012; ++year) {
      CheckRoundTrips(*this, YearStart(year) - 86400, YearStart(year) + 86400, 1, failures);
      if (year == 2012) break;
      for (const SystemTime* rule :
           {&settings_.time_zone.daylight_date, &settings_.time_zone.standard_date}) {
        if (rule->month == 0) continue;
        const long long moment =
            DateTimeToEpoch(TransitionMoment(static_cast<uint16_t>(year), *rule));
        // The moment is a wall time; its UTC instant lies within a day of it.
        CheckRoundTrips(*this, moment - 86400, moment + 86400, 1, failures);
      }
    }
    CheckRoundTrips(*this, YearStart(2006), YearStart(2012), stride, failures);
    std::sort(failures.begin(), failures.end());
    failures.erase(std::unique(failures.begin(), failures.end()), failures.end());
    // The windows reach a little beyond 2006-2011.
    std::erase_if(failures,
                  [](long long s) { return s < YearStart(2006) || s >= YearStart(2012); });
  }
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  RecordProperty("seconds", std::to_string(took));
  // Failures come in one block of 3600 consecutive seconds per year.
  std::vector<std::pair<long long, long long>> blocks;
  for (long long s : failures) {
    if (!blocks.empty() && blocks.back().second == s) {
      ++blocks.back().second;
    } else {
      blocks.emplace_back(s, s + 1);
    }
  }
  if (!GetParam().daylight) {
    EXPECT_TRUE(failures.empty());
    return;
  }
  ASSERT_EQ(blocks.size(), 6u) << GetParam().name;
  for (const auto& [first, last] : blocks)
    EXPECT_EQ(last - first, 3600) << first;
}

void CheckRoundTrips(const ZoneTest& test, long long begin, long long end, long long step,
                     std::vector<long long>& failures) {
  for (long long s = begin; s < end; s += step) {
    const long long back = test.RoundTrip(s);
    if (back == s) continue;
    ASSERT_EQ(back, s - 3600) << s;
    ASSERT_EQ(test.LocalSeconds(back), test.LocalSeconds(s)) << s;
    failures.push_back(s);
  }
}

INSTANTIATE_TEST_SUITE_P(Zones, ZoneTest, ::testing::ValuesIn(kZones),
                         [](const ::testing::TestParamInfo<Zone>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (c == '/') c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace tivolo::platform
