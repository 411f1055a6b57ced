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

using platform::AddMinutes;
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

TEST_F(ClockFixture, BeginTurnsRedMoreThanTwoMinutesInThePast) {
  platform::ScopedNow fixed(0);
  const DateTime now = NowAt(fixed, At(2026, 7, 15, 21, 5, 0));
  const DateTime later = At(2026, 7, 16, 0, 0);
  EXPECT_EQ(ColourRule(AddMinutes(now, -5), later, now), (PickerColours{true, false}));
  EXPECT_EQ(ColourRule(AddMinutes(now, -1), later, now), (PickerColours{false, false}));
  EXPECT_EQ(ColourRule(AddMinutes(now, -2), later, now), (PickerColours{false, false}));
  // An end equal to the begin is red; across midnight it is after the begin.
  const DateTime begin = At(2026, 7, 15, 23, 30);
  EXPECT_EQ(ColourRule(begin, begin, now), (PickerColours{false, true}));
  EXPECT_EQ(ColourRule(begin, EndAfter(begin, 60), now), (PickerColours{false, false}));
  EXPECT_EQ(platform::DateTimeToEpoch(EndAfter(begin, 60)),
            platform::DateTimeToEpoch(At(2026, 7, 16, 0, 30)));
}

struct MaskCase {
  const char* name;
  int32_t stored;
  Repetition opened;
  int32_t saved;  // saving the boxes as opened
};

class RepetitionTest : public ::testing::TestWithParam<MaskCase> {};

// The begin is Wednesday 15 July 2026 (box 2).
INSTANTIATE_TEST_SUITE_P(
    Masks, RepetitionTest,
    ::testing::Values(MaskCase{"WeekendOnWednesday", 96, {true, {0, 0, 1, 0, 0, 1, 1}}, 100},
                      MaskCase{"HighBitOnly", 128, {true, {0, 0, 1, 0, 0, 0, 0}}, 4},
                      MaskCase{"None", 0, {false, {}}, 0}, MaskCase{"Negative", -1, {false, {}}, 0},
                      MaskCase{"Weekdays", 31, {true, {1, 1, 1, 1, 1, 0, 0}}, 31},
                      MaskCase{"EveryDayAndHigherBits", 0x1ff, {true, {1, 1, 1, 1, 1, 1, 1}}, 127}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(RepetitionTest, OpensFromTheStoredMaskAndRebuildsItFromTheBoxes) {
  const DateTime wednesday = At(2026, 7, 15, 20, 30);
  const Repetition r = RepetitionOnOpening(GetParam().stored, wednesday);
  EXPECT_EQ(r, GetParam().opened);
  EXPECT_EQ(MaskFromBoxes(r.repeated, r.days), GetParam().saved);
}

TEST(RepetitionRule, TickingRepeatedAddsTheBeginsWeekdayOnlyWhenNoneIsTicked) {
  const DateTime sunday = At(2026, 7, 19, 8, 0);
  DayBoxes days{};
  EXPECT_FALSE(ApplyRepetitionRule(false, days, sunday));
  EXPECT_EQ(days, DayBoxes{});
  EXPECT_TRUE(ApplyRepetitionRule(true, days, sunday));
  EXPECT_EQ(days, (DayBoxes{0, 0, 0, 0, 0, 0, 1}));
  days = {1, 0, 0, 0, 0, 0, 0};
  ApplyRepetitionRule(true, days, sunday);
  EXPECT_EQ(days, (DayBoxes{1, 0, 0, 0, 0, 0, 0}));
  // Ticked with every box unticked saves a timer that does not repeat.
  EXPECT_EQ(MaskFromBoxes(true, DayBoxes{}), 0);
}

}  // namespace
}  // namespace tivolo::ui
