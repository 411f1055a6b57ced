// The timer dialogs' rules without a window: the defaults of a new timer at wall-clock times,
// the colour rule on instants, and the quick buttons and steps on both nights Amsterdam
// changes its clock, read through the program's clock source.
#include "ui/timer_rules.h"
#include "ui/guide_rows.h"

#include <gtest/gtest.h>

#include <string>

#include "boxdata/box_tables.h"
#include "platform/now.h"
#include "platform/time_zone.h"
#include "platform/zone_env.h"
#include "store/date_format.h"

namespace tivolo::ui {
namespace {

using platform::AddSeconds;
using platform::EncodeDate;
namespace fields = boxdata::fields;

DateTime At(int y, int mo, int d, int h, int mi, int s = 0) {
  return AddSeconds(EncodeDate(y, mo, d), h * 3600 + mi * 60 + s);
}

std::string Stamp(DateTime t) {
  return store::FormatDateTime("yyyy-mm-dd hh:nn:ss", t);
}

// Seconds since 1970 of a UTC date-time.
int64_t Epoch(DateTime utc) {
  return platform::DateTimeToEpoch(utc);
}

// Every case runs in Europe/Amsterdam, whatever the machine's own zone, at a moment set
// through the program's clock source.
class AmsterdamTest : public ::testing::Test {
 protected:
  AmsterdamTest() : tz_("Europe/Amsterdam"), fixed_(0) {
    now_.clock.utc_auto = true;
    now_.clock.time_zone = platform::ReadSystemTimeZone();
  }
  void SetUp() override { tables_.Open(); }

  // Sets now to the UTC moment given in seconds since 1970.
  void NowAt(int64_t seconds) {
    fixed_.Set(static_cast<double>(seconds));
    now_.utc = platform::NowUtc();
  }
  store::MemTable& timers() { return tables_.timers; }
  // A new timer in the table, being inserted, as the editor sees it.
  void NewTimer(DateTime begin, DateTime end, const char* service = "1:0:1:B2:C:3E8:0:0:0:0:") {
    if (timers().State() == store::DatasetState::kInsert) timers().Cancel();
    timers().Append();
    timers().FieldNamed(fields::kServiceref).SetAsString(service);
    timers().FieldNamed(fields::kBegin).SetAsDateTime(begin);
    timers().FieldNamed(fields::kEnd).SetAsDateTime(end);
  }
  TimerInstants Instants() {
    return InstantsOf(timers().ActiveBuffer(), boxdata::TimerTimeFields(timers()), now_);
  }
  TimerValidity Check(bool begin_changed = true) {
    return CheckTimer(timers().ActiveBuffer(), boxdata::TimerTimeFields(timers()),
                      timers().FieldNamed(fields::kServiceref).AsString(), begin_changed, now_);
  }
  // The end a quick button of `minutes` gives the current record.
  std::string QuickEnd(int minutes) {
    return Stamp(WallTimeAfter(Instants().begin, minutes, now_.clock));
  }

  platform::testing::ScopedTz tz_;
  platform::ScopedNow fixed_;
  ClockNow now_;
  boxdata::BoxTables tables_;
};

// 25 October 2026: 02:00 to 03:00 is shown twice, first in summer time (00:00 to 01:00 UTC).
constexpr int64_t kAutumn0010Utc = 1792887000;  // 02:10 the first time
constexpr int64_t kAutumn0110Utc = 1792890600;  // 02:10 the second time
// 29 March 2026: 02:00 to 03:00 is skipped; 01:30 is 00:30 UTC.
constexpr int64_t kSpring0030Utc = 1774744200;

// The colour rule on instants: two minutes of grace for the begin, which a wrong sign of the
// margin turns into two minutes of refusal; an end must lie after its begin; a begin the
// user did not change is never refused for lying in the past.
TEST(ColourRuleTest, TheMarginLiesBeforeNowAndEndsFollowTheirBegins) {
  const DateTime now = At(2026, 7, 15, 16, 0);
  auto colours = [now](DateTime begin, DateTime end, bool changed = true) {
    const TimerValidity v = ColourRule({begin, end}, changed, now);
    return std::string(v.begin_red ? "red" : "ok") + "/" + (v.end_red ? "red" : "ok");
  };
  const DateTime later = At(2026, 7, 15, 18, 0);
  EXPECT_EQ(colours(At(2026, 7, 15, 15, 59), later), "ok/ok");
  EXPECT_EQ(colours(At(2026, 7, 15, 15, 58), later), "ok/ok");
  EXPECT_EQ(colours(At(2026, 7, 15, 15, 57, 59), later), "red/ok");
  EXPECT_EQ(colours(At(2026, 7, 15, 16, 1), later), "ok/ok");
  EXPECT_EQ(colours(At(2026, 7, 14, 16, 0), later, false), "ok/ok");
  EXPECT_EQ(colours(later, later), "ok/red");
  EXPECT_EQ(colours(later, At(2026, 7, 15, 17, 59)), "ok/red");
  EXPECT_EQ(colours(later, At(2026, 7, 15, 18, 0, 1)), "ok/ok");
  // Across midnight the end still follows.
  EXPECT_EQ(colours(At(2026, 7, 15, 23, 30), At(2026, 7, 16, 0, 30)), "ok/ok");
}

TEST_F(AmsterdamTest, TheAutumnNightsRepeatedHourMeansTheMomentAhead) {
  const DateTime day = EncodeDate(2026, 10, 25);
  NowAt(kAutumn0110Utc);  // 02:10, the second time
  NewTimer(platform::AddMinutes(day, 150), platform::AddMinutes(day, 170));  // 02:30 to 02:50
  EXPECT_EQ(Check(), TimerValidity{});
  EXPECT_EQ(Epoch(Instants().begin), kAutumn0110Utc + 20 * 60);
  EXPECT_EQ(Epoch(Instants().end), kAutumn0110Utc + 40 * 60);
  // 02:05 has no reading ahead any more: it lies an hour and five minutes back.
  NewTimer(platform::AddMinutes(day, 125), platform::AddMinutes(day, 170));
  EXPECT_TRUE(Check().begin_red);
  // The first time round 02:30 comes first; an hour on is 02:30 again, which as an end is
  // read after its begin.
  NowAt(kAutumn0010Utc);
  NewTimer(platform::AddMinutes(day, 150), platform::AddMinutes(day, 170));
  EXPECT_EQ(Epoch(Instants().begin), kAutumn0010Utc + 20 * 60);
  EXPECT_EQ(QuickEnd(60), "2026-10-25 02:30:00");
  timers().FieldNamed(fields::kEnd).SetAsDateTime(WallTimeAfter(Instants().begin, 60, now_.clock));
  EXPECT_EQ(Check(), TimerValidity{});
  EXPECT_EQ(Epoch(Instants().end) - Epoch(Instants().begin), 3600);
  EXPECT_EQ(QuickEnd(165), "2026-10-25 04:15:00");

  // A new timer typed at 02:05 the second time round begins at 02:10 of that same second pass,
  // not an hour back, and lasts its two real hours: to 04:10 in winter time.
  NowAt(kAutumn0110Utc - 5 * 60);
  if (timers().State() == store::DatasetState::kInsert) timers().Cancel();
  timers().Append();
  FillNewTimer(timers(), "Ned 1", "1:0:1:B2:C:3E8:0:0:0:0:", now_, 0);
  EXPECT_EQ(Stamp(timers().FieldNamed(fields::kBegin).AsDateTime()), "2026-10-25 02:10:00");
  EXPECT_EQ(Stamp(timers().FieldNamed(fields::kEnd).AsDateTime()), "2026-10-25 04:10:00");
  EXPECT_EQ(Epoch(Instants().begin), kAutumn0110Utc);
  EXPECT_EQ(Epoch(Instants().end) - Epoch(Instants().begin), kDefaultMinutes * 60);
  EXPECT_EQ(Check(), TimerValidity{});
}

TEST_F(AmsterdamTest, TheSpringNightsQuickButtonsAndStepsAddRealMinutes) {
  const DateTime day = EncodeDate(2026, 3, 29);
  NowAt(kSpring0030Utc - 3600);
  NewTimer(platform::AddMinutes(day, 90), platform::AddMinutes(day, 100));  // 01:30
  EXPECT_EQ(QuickEnd(120), "2026-03-29 04:30:00");
  EXPECT_EQ(QuickEnd(15), "2026-03-29 01:45:00");
  EXPECT_EQ(QuickEnd(45), "2026-03-29 03:15:00");
  EXPECT_EQ(Stamp(WallTimeAfter(Instants().begin, kHourStepMinutes, now_.clock)),
            "2026-03-29 03:30:00");
  // Ten minutes back from 03:05 is 01:55: the skipped hour holds no time.
  NewTimer(platform::AddMinutes(day, 185), platform::AddMinutes(day, 200));  // 03:05
  EXPECT_EQ(Stamp(WallTimeAfter(Instants().begin, -2 * kFineStepMinutes, now_.clock)),
            "2026-03-29 01:55:00");
}

// Whatever is set through a picker, a button or the default has whole minutes; the picker's
// default begin follows the evening slot, and its end lies two real hours later.
TEST_F(AmsterdamTest, NewTimersGetWholeMinutesAndTheirDefaults) {
  struct Case {
    DateTime now;
    const char* begin;
    const char* end;
  };
  for (const Case& c : {
           Case{At(2026, 7, 15, 9, 0, 30), "2026-07-15 09:00:00", "2026-07-15 11:00:00"},
           Case{At(2026, 7, 15, 9, 1, 15), "2026-07-15 09:10:00", "2026-07-15 11:10:00"},
           Case{At(2026, 7, 15, 15, 29, 40), "2026-07-15 15:30:00", "2026-07-15 17:30:00"},
           Case{At(2026, 7, 15, 15, 31, 5), "2026-07-15 20:30:00", "2026-07-15 22:30:00"},
           Case{At(2026, 7, 15, 21, 5, 12), "2026-07-15 21:10:00", "2026-07-15 23:10:00"},
           Case{At(2026, 1, 14, 23, 55, 9), "2026-01-15 00:00:00", "2026-01-15 02:00:00"},
           Case{At(2026, 3, 29, 0, 55, 9), "2026-03-29 01:00:00", "2026-03-29 04:00:00"},
       }) {
    NowAt(static_cast<int64_t>(platform::EpochSecondsOfLocal(c.now, now_.clock)));
    if (timers().State() == store::DatasetState::kInsert) timers().Cancel();
    timers().Append();
    FillNewTimer(timers(), "Ned 1", "1:0:1:B2:C:3E8:0:0:0:0:", now_, 0);
    EXPECT_EQ(Stamp(timers().FieldNamed(fields::kBegin).AsDateTime()), c.begin) << Stamp(c.now);
    EXPECT_EQ(Stamp(timers().FieldNamed(fields::kEnd).AsDateTime()), c.end) << Stamp(c.now);
  }
  EXPECT_EQ(timers().FieldNamed(fields::kEit).AsLargeInt(), kDefaultEit);
  EXPECT_EQ(timers().FieldNamed(fields::kAfterevent).AsString(), "nothing");
  // The end of the timer saved last wins while it lies ahead, cut to its minute.
  EXPECT_EQ(Stamp(DefaultBegin(At(2026, 7, 15, 16, 0), At(2026, 7, 15, 23, 0, 40))),
            "2026-07-15 23:00:00");
  EXPECT_EQ(Stamp(DefaultBegin(At(2026, 7, 15, 23, 1), At(2026, 7, 15, 23, 0))),
            "2026-07-15 23:10:00");
  // A picker keeps a value's seconds only while it is back where the editor opened.
  const DateTime read = At(2026, 7, 15, 21, 2, 37);
  EXPECT_EQ(EnteredValue(read, read), read);
  EXPECT_EQ(Stamp(EnteredValue(At(2026, 7, 15, 21, 5, 37), read)), "2026-07-15 21:05:00");
}

TEST_F(AmsterdamTest, ATimerWithoutAChannelCannotBeSaved) {
  NowAt(kSpring0030Utc);
  const DateTime begin = At(2026, 4, 1, 20, 0);
  NewTimer(begin, platform::AddHours(begin, 1), "");
  EXPECT_EQ(Check(), (TimerValidity{false, false, true}));
  EXPECT_FALSE(Check().CanSave());
}

}  // namespace
}  // namespace tivolo::ui

namespace tivolo::ui {
namespace {

// The rows of the web interface's programmes: by time, from the running one on, marked when a
// timer of the same channel (in any namespace) spans them; and when the file gives way.
TEST(GuideRowsTest, WebProgrammesInOrderMarkedByTheirChannelsTimers) {
  constexpr int64_t kNowUtc = 1800000000;
  const ClockNow now{{false, 2, {}}, platform::EpochSecondsToDateTime(kNowUtc)};  // UTC+2
  const std::string channel = "1:0:19:283D:3FB:1:C00000:0:0:0:";
  std::vector<boxdata::ProgrammeEvent> events = {{kNowUtc + 3600, kNowUtc + 7200, 3, "Later", ""},
                                                 {kNowUtc - 7200, kNowUtc, 1, "Ended", ""},
                                                 {kNowUtc - 60, kNowUtc + 3600, 2, "Running", ""}};
  const std::vector<boxdata::TimerSpan> timers = {
      {"1:0:19:283D:3FB:1:EEEE0000:0:0:0:", kNowUtc + 3500, kNowUtc + 7300},
      {"1:0:19:283E:3FB:1:C00000:0:0:0:", kNowUtc - 100, kNowUtc + 3700}};
  const std::vector<GuideRow> rows = WebRows(events, channel, timers, now);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].event.title, "Running");
  EXPECT_FALSE(rows[0].covered);  // that timer is another channel's
  EXPECT_EQ(rows[1].event.title, "Later");
  EXPECT_TRUE(rows[1].covered);
  EXPECT_EQ(rows[1].day + " " + rows[1].times, "Fri 15-01 11:00-12:00");

  GuideState state;
  EXPECT_TRUE(GuideFileStale(nullptr, kNowUtc));
  EXPECT_TRUE(GuideFileStale(&state, kNowUtc));  // no guide file
  state.search = std::make_shared<const boxdata::GuideSearch>(boxdata::Guide());
  state.written = kNowUtc - kStaleGuideSeconds;
  EXPECT_FALSE(GuideFileStale(&state, kNowUtc));
  EXPECT_TRUE(GuideFileStale(&state, kNowUtc + 1));
}

}  // namespace
}  // namespace tivolo::ui
