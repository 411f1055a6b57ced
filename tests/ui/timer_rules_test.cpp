// The default begin of a new timer at wall-clock times of a zone with daylight saving time,
// read through the program's clock source.
#include "ui/timer_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/now.h"
#include "platform/time_zone.h"

namespace tivolo::ui {
namespace {

using platform::AddSeconds;
using platform::EncodeDate;

DateTime At(int y, int mo, int d, int h, int mi, int s = 0) {
  return AddSeconds(EncodeDate(y, mo, d), h * 3600 + mi * 60 + s);
}

// Runs each case at a wall-clock time of a zone with daylight saving time, through the
// program's clock source, whatever the machine's own clock and zone say.
class ClockFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("TZ")) old_tz_ = old;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    clock_.utc_auto = true;
    clock_.time_zone = platform::ReadSystemTimeZone();
  }
  void TearDown() override {
    if (old_tz_.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", old_tz_.c_str(), 1);
    }
    tzset();
  }
  // The local "now" the program sees while the clock source shows local.
  DateTime NowAt(platform::ScopedNow& now, DateTime local) {
    now.Set(platform::EpochSecondsOfLocal(local, clock_));
    return platform::NowLocal(clock_);
  }
  platform::ClockSettings clock_;
  std::string old_tz_;
};

struct BeginCase {
  const char* name;
  DateTime now;
  DateTime begin;
};

class DefaultBeginTest : public ClockFixture, public ::testing::WithParamInterface<BeginCase> {};

// 15 July 2026 lies in daylight time, 14 January 2026 in standard time.
INSTANTIATE_TEST_SUITE_P(
    WallClock, DefaultBeginTest,
    ::testing::Values(BeginCase{"At090030", At(2026, 7, 15, 9, 0, 30), At(2026, 7, 15, 9, 0, 30)},
                      BeginCase{"At090115", At(2026, 7, 15, 9, 1, 15), At(2026, 7, 15, 9, 10, 15)},
                      BeginCase{"At1529", At(2026, 7, 15, 15, 29, 40), At(2026, 7, 15, 15, 30, 40)},
                      BeginCase{"At1531", At(2026, 7, 15, 15, 31, 5), At(2026, 7, 15, 20, 30)},
                      BeginCase{"At1600", At(2026, 7, 15, 16, 0), At(2026, 7, 15, 20, 30)},
                      BeginCase{"At2105", At(2026, 7, 15, 21, 5, 12), At(2026, 7, 15, 21, 10, 12)},
                      BeginCase{"At2355", At(2026, 7, 15, 23, 55, 9), At(2026, 7, 16, 0, 0, 9)},
                      BeginCase{"At2355InWinter", At(2026, 1, 14, 23, 55, 9),
                                At(2026, 1, 15, 0, 0, 9)},
                      BeginCase{"At1600InWinter", At(2026, 1, 14, 16, 0), At(2026, 1, 14, 20, 30)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(DefaultBeginTest, FollowsTheEveningWindowAndTheTenMinutes) {
  platform::ScopedNow fixed(0);
  const DateTime now = NowAt(fixed, GetParam().now);
  const DateTime begin = DefaultBegin(now, 0);
  EXPECT_EQ(platform::DateTimeToEpoch(begin), platform::DateTimeToEpoch(GetParam().begin));
  // Exactly two hours, to the millisecond, so that 20:30 never ends at 22:29:59.
  EXPECT_EQ(std::llround((DefaultEnd(begin) - begin) * 86400000.0), 2 * 3600 * 1000);
}

TEST_F(ClockFixture, LastSavedEndWinsWhileItLiesAhead) {
  platform::ScopedNow fixed(0);
  const DateTime saved_end = At(2026, 7, 15, 23, 0, 0);
  EXPECT_EQ(DefaultBegin(NowAt(fixed, At(2026, 7, 15, 16, 0)), saved_end), saved_end);
  // Once it has passed, the clock rules again.
  EXPECT_EQ(
      platform::DateTimeToEpoch(DefaultBegin(NowAt(fixed, At(2026, 7, 15, 23, 1)), saved_end)),
      platform::DateTimeToEpoch(At(2026, 7, 15, 23, 10)));
}

}  // namespace
}  // namespace tivolo::ui
