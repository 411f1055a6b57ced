#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/time_zone.h"
#include "platform/time_zone_log.h"

namespace tivolo::platform {
namespace {

DateTime At(int y, int mo, int d, int h, int mi, int s = 0) {
  return AddSeconds(EncodeDate(y, mo, d), h * 3600 + mi * 60 + s);
}

std::string Text(DateTime x) {
  return DateTimeText(x);
}

SystemTime Rule(uint16_t month, uint16_t day, int16_t hour, uint16_t day_of_week = 0) {
  SystemTime rule;
  rule.month = month;
  rule.day = day;
  rule.hour = hour;
  rule.day_of_week = day_of_week;
  return rule;
}

class EuropeanClockTest : public ::testing::Test {
 protected:
  EuropeanClockTest() {
    settings_.time_zone.bias = -60;
    settings_.time_zone.daylight_bias = -60;
    settings_.time_zone.daylight_date = Rule(3, 5, 2);
    settings_.time_zone.standard_date = Rule(10, 5, 3);
  }
  std::string Local(DateTime utc) const { return Text(UtcToLocal(utc, settings_)); }
  std::string Utc(DateTime local) const { return Text(LocalToUtc(local, settings_)); }

  ClockSettings settings_;
};

TEST(EpochTest, ConvertsSecondsExactly) {
  EXPECT_EQ(EpochToDateTime(0), 25569.0);
  EXPECT_EQ(EpochToDateTime(86400), 25570.0);
  EXPECT_EQ(Text(EpochToDateTime(1234567890)), "13-02-2009 23:31:30");
  EXPECT_EQ(DateTimeToEpoch(At(2009, 2, 13, 23, 31, 30)), 1234567890);
  // A date-time made of a date and whole minutes gives that minute's second count.
  for (int minute = 0; minute < 24 * 60; minute += 7) {
    const DateTime x = EncodeDate(2011, 12, 31) + minute / 1440.0;
    EXPECT_EQ(DateTimeToEpoch(x), 1325289600LL + minute * 60) << minute;
  }
  for (int32_t s : {0, 1, 59, 86399, 1000000007, 2147483647, -1, -86401}) {
    EXPECT_EQ(DateTimeToEpoch(EpochToDateTime(s)), s);
  }
}

TEST(CalendarTest, EncodesDecodesAndNamesDays) {
  EXPECT_EQ(EncodeDate(1970, 1, 1), kUnixEpochDay);
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  int y = 0;
  int m = 0;
  int d = 0;
  DecodeDate(EncodeDate(2008, 2, 29) + 0.999, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20080229);
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 6);  // Saturday
  EXPECT_EQ(DayOfWeek(EncodeDate(2007, 10, 28)), 0);  // Sunday
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 24)), 0);  // before day 0
}

TEST(TransitionMomentTest, PlacesTheNthWeekday) {
  EXPECT_EQ(Text(TransitionMoment(2006, Rule(3, 5, 2))), "26-03-2006 02:00:00");
  EXPECT_EQ(Text(TransitionMoment(2006, Rule(10, 5, 3))), "29-10-2006 03:00:00");
  // February 2007 has four Sundays: "the last" is the fourth.
  EXPECT_EQ(Text(TransitionMoment(2007, Rule(2, 5, 0))), "25-02-2007");
  EXPECT_EQ(Text(TransitionMoment(2007, Rule(4, 1, 1))), "01-04-2007 01:00:00");
  EXPECT_EQ(Text(TransitionMoment(2007, Rule(4, 3, 1))), "15-04-2007 01:00:00");
  // The rule's year field plays no part.
  SystemTime with_year = Rule(3, 5, 2);
  with_year.year = 1999;
  EXPECT_EQ(TransitionMoment(2006, with_year), TransitionMoment(2006, Rule(3, 5, 2)));
  // Other weekdays: the fourth Thursday of March 2006 at 26:00 is Friday 24 March 02:00.
  EXPECT_EQ(Text(TransitionMoment(2006, Rule(3, 4, 26, 4))), "24-03-2006 02:00:00");
  EXPECT_EQ(Text(TransitionMoment(2010, Rule(3, 5, 2, 5))), "26-03-2010 02:00:00");
  // Times before midnight: the last Sunday of March 2024 at -1:00 is Saturday 23:00.
  EXPECT_EQ(Text(TransitionMoment(2024, Rule(3, 5, -1))), "30-03-2024 23:00:00");
  SystemTime half = Rule(3, 5, -2);
  half.minute = 30;  // -1:30
  EXPECT_EQ(Text(TransitionMoment(2024, half)), "30-03-2024 22:30:00");
  // A rule that cannot be placed keeps only its time of day.
  EXPECT_EQ(TransitionMoment(2006, Rule(3, 6, 2)), 2.0 / 24);
  EXPECT_EQ(TransitionMoment(2006, Rule(0, 5, 0)), 0.0);
}

TEST_F(EuropeanClockTest, ConvertsBothWaysInBothSeasons) {
  EXPECT_EQ(Local(At(2007, 7, 15, 12, 0)), "15-07-2007 14:00:00");
  EXPECT_EQ(Local(At(2007, 1, 15, 12, 0)), "15-01-2007 13:00:00");
  EXPECT_EQ(Utc(At(2007, 7, 15, 14, 0)), "15-07-2007 12:00:00");
  EXPECT_EQ(Utc(At(2007, 1, 15, 13, 0)), "15-01-2007 12:00:00");
}

TEST_F(EuropeanClockTest, StartOfDaylightTime) {
  EXPECT_EQ(Local(At(2007, 3, 25, 0, 59, 59)), "25-03-2007 01:59:59");
  EXPECT_EQ(Local(At(2007, 3, 25, 1, 0)), "25-03-2007 03:00:00");
  EXPECT_EQ(Local(At(2007, 3, 25, 1, 30)), "25-03-2007 03:30:00");
  EXPECT_EQ(Utc(At(2007, 3, 25, 1, 59, 59)), "25-03-2007 00:59:59");
  EXPECT_EQ(Utc(At(2007, 3, 25, 3, 0)), "25-03-2007 01:00:00");
}

TEST_F(EuropeanClockTest, EndOfDaylightTimeIsOnTime) {
  // The last hour of daylight time and the repeated hour both read 02:xx local.
  EXPECT_EQ(Local(At(2007, 10, 28, 0, 30)), "28-10-2007 02:30:00");
  EXPECT_EQ(Local(At(2007, 10, 28, 0, 59, 59)), "28-10-2007 02:59:59");
  EXPECT_EQ(Local(At(2007, 10, 28, 1, 0)), "28-10-2007 02:00:00");
  EXPECT_EQ(Local(At(2007, 10, 28, 1, 30)), "28-10-2007 02:30:00");
  EXPECT_EQ(Local(At(2007, 10, 28, 2, 0)), "28-10-2007 03:00:00");
  // A wall time in the repeated hour is taken as daylight time, the earlier moment.
  EXPECT_EQ(Utc(At(2007, 10, 28, 2, 30)), "28-10-2007 00:30:00");
  EXPECT_EQ(Utc(At(2007, 10, 28, 2, 59, 59)), "28-10-2007 00:59:59");
  EXPECT_EQ(Utc(At(2007, 10, 28, 3, 0)), "28-10-2007 02:00:00");
}

// A wall time of the repeated hour means the moment still to come when one of its readings
// is; any other wall time has one reading whatever lies ahead.
TEST_F(EuropeanClockTest, TheReadingAheadIsTakenWhenOneIs) {
  auto ahead = [&](DateTime local, DateTime ahead_of) {
    return Text(LocalToUtcAhead(local, settings_, ahead_of));
  };
  const DateTime repeated = At(2007, 10, 28, 2, 30);
  EXPECT_EQ(ahead(repeated, At(2007, 10, 28, 0, 10)), "28-10-2007 00:30:00");  // both ahead
  EXPECT_EQ(ahead(repeated, At(2007, 10, 28, 1, 10)), "28-10-2007 01:30:00");  // 02:10 again
  EXPECT_EQ(ahead(repeated, At(2007, 10, 28, 1, 30)), "28-10-2007 01:30:00");  // not before
  EXPECT_EQ(ahead(repeated, At(2007, 10, 28, 1, 40)), "28-10-2007 00:30:00");  // both past
  // A summer afternoon and the skipped hour of the spring have no second reading.
  EXPECT_EQ(ahead(At(2007, 7, 15, 14, 0), At(2007, 7, 15, 12, 30)), "15-07-2007 12:00:00");
  EXPECT_EQ(ahead(At(2007, 3, 25, 2, 30), At(2007, 3, 25, 1, 0)), "25-03-2007 00:30:00");
  settings_.utc_auto = false;
  settings_.utc_offset = 1;
  EXPECT_EQ(ahead(repeated, At(2007, 10, 28, 1, 10)), "28-10-2007 01:30:00");
  EXPECT_EQ(ahead(repeated, At(2007, 10, 28, 2, 10)), "28-10-2007 01:30:00");
  // An end is read after its begin, and ahead of now.
  EXPECT_EQ(Text(EndAheadOf(At(2007, 10, 28, 0, 30), At(2007, 10, 28, 0, 10))),
            "28-10-2007 00:30:01");
  EXPECT_EQ(Text(EndAheadOf(At(2007, 10, 28, 0, 30), At(2007, 10, 28, 1, 10))),
            "28-10-2007 01:10:00");
}

TEST_F(EuropeanClockTest, FixedOffsetIgnoresTheZone) {
  settings_.utc_auto = false;
  settings_.utc_offset = 2;
  EXPECT_EQ(Local(At(2007, 7, 15, 12, 0)), "15-07-2007 14:00:00");
  EXPECT_EQ(Local(At(2007, 1, 15, 12, 0)), "15-01-2007 14:00:00");
  EXPECT_EQ(Utc(At(2007, 1, 15, 14, 0)), "15-01-2007 12:00:00");
  settings_.utc_offset = -5;
  EXPECT_EQ(Local(At(2007, 7, 15, 12, 0)), "15-07-2007 07:00:00");
  // The constant lies a little below 1/24, but whole seconds still come back.
  for (int offset = -12; offset <= 14; ++offset) {
    settings_.utc_offset = offset;
    for (int32_t s = 1136073600; s < 1325376000; s += 999983) {
      const DateTime local = UtcToLocal(EpochToDateTime(s), settings_);
      ASSERT_EQ(DateTimeToEpoch(LocalToUtc(local, settings_)), s) << offset;
      ASSERT_EQ(DateTimeToEpoch(local), s + offset * 3600LL) << offset;
    }
  }
}

TEST(SouthernClockTest, DaylightTimeSpansTheNewYear) {
  ClockSettings sydney;
  sydney.time_zone = ParsePosixTz("AEST-10AEDT,M10.1.0,M4.1.0/3");
  auto local = [&](DateTime utc) { return Text(UtcToLocal(utc, sydney)); };
  auto utc = [&](DateTime local) { return Text(LocalToUtc(local, sydney)); };
  EXPECT_EQ(local(At(2010, 1, 15, 0, 0)), "15-01-2010 11:00:00");
  EXPECT_EQ(local(At(2010, 7, 15, 0, 0)), "15-07-2010 10:00:00");
  EXPECT_EQ(local(At(2010, 12, 31, 13, 30)), "01-01-2011 00:30:00");
  EXPECT_EQ(utc(At(2011, 1, 1, 0, 30)), "31-12-2010 13:30:00");
  // 4 April 2010 03:00 daylight time is 02:00 standard time, UTC 3 April 16:00.
  EXPECT_EQ(local(At(2010, 4, 3, 15, 59, 59)), "04-04-2010 02:59:59");
  EXPECT_EQ(local(At(2010, 4, 3, 16, 0)), "04-04-2010 02:00:00");
  // 3 October 2010 02:00 standard time is UTC 2 October 16:00.
  EXPECT_EQ(local(At(2010, 10, 2, 15, 59, 59)), "03-10-2010 01:59:59");
  EXPECT_EQ(local(At(2010, 10, 2, 16, 0)), "03-10-2010 03:00:00");
}

TEST(NoDaylightClockTest, UsesBiasPlusStandardBiasAllYear) {
  ClockSettings zone;
  zone.time_zone.bias = 180;
  zone.time_zone.standard_bias = 15;
  zone.time_zone.daylight_bias = -60;
  for (int month = 1; month <= 12; ++month) {
    EXPECT_EQ(Text(UtcToLocal(At(2010, month, 10, 12, 0), zone)), Text(At(2010, month, 10, 8, 45)));
    EXPECT_EQ(Text(LocalToUtc(At(2010, month, 10, 8, 45), zone)), Text(At(2010, month, 10, 12, 0)));
  }
}

TEST(ClockRobustnessTest, OutOfCalendarValuesDoNotFail) {
  ClockSettings zone;
  zone.time_zone = ParsePosixTz("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(UtcToLocal(-1e9, zone), AddMinutes(-1e9, 60));
  EXPECT_EQ(LocalToUtc(1e12, zone), AddMinutes(1e12, -60));
  EXPECT_EQ(DateTimeToEpoch(1e300), INT64_MAX);
  EXPECT_EQ(DateTimeToEpoch(-1e300), INT64_MIN);
}

TEST(TimeZoneLogTest, WritesBiasesMomentsAndRules) {
  const auto amsterdam = TimeZoneLogLines(ParsePosixTz("CET-1CEST,M3.5.0,M10.5.0/3"));
  std::string dump;
  for (const auto& line : amsterdam)
    dump += line + "\n";
  EXPECT_EQ(dump,
            "TimeZoneInformation.Bias: -60\n"
            "TimeZoneInformation.StandardBias: 0\n"
            "TimeZoneInformation.DaylightBias: -60\n"
            "29-10-2006 03:00:00\n"
            "26-03-2006 02:00:00\n"
            "StandardDate: 0  05-10-0000  0  03:00\n"
            "DaylightDate: 0  05-03-0000  0  02:00\n");
  dump.clear();
  for (const auto& line : TimeZoneLogLines(ParsePosixTz("<-03>3"), "zone note")) {
    dump += line + "\n";
  }
  EXPECT_EQ(dump,
            "zone note\n"
            "TimeZoneInformation.Bias: 180\n"
            "TimeZoneInformation.StandardBias: 0\n"
            "TimeZoneInformation.DaylightBias: 0\n"
            "The time zone has no daylight saving time\n"
            "StandardDate: 0  00-00-0000  0  00:00\n"
            "DaylightDate: 0  00-00-0000  0  00:00\n");
  // Midnight shows the date alone, a value under one day the time alone.
  const auto nuuk = TimeZoneLogLines(ParsePosixTz("<-02>2<-01>,M3.5.0/-1,M10.5.0/0"));
  EXPECT_EQ(nuuk[3], "29-10-2006");
  EXPECT_EQ(DateTimeText(0.75), "18:00:00");
  EXPECT_EQ(DateTimeText(0.75,
                         [](int h, int m, int s) {
                           char b[32];
                           std::snprintf(b, sizeof b, "%d.%02d.%02d", h, m, s);
                           return std::string(b);
                         }),
            "18.00.00");
}

}  // namespace
}  // namespace tivolo::platform
