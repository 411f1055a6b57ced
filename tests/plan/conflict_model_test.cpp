// The conflict model, one row per rule of the receiver: which timers take part, when repeated
// timers recur, when two recordings overlap, and which tuner can take which transponder.
#include <gtest/gtest.h>

#include <set>

#include "plan/conflict_model.h"
#include "plan/tuner_texts.h"
#include "plan_test_support.h"

namespace tivolo::plan {
namespace {

using namespace testing;

constexpr const char* kOneSatellite =
    "config.Nims.0.configMode=simple\nconfig.Nims.0.diseqcA=192\n"
    "config.Nims.1.configMode=simple\nconfig.Nims.1.diseqcA=192\n"
    "config.Nims.2.configMode=simple\nconfig.Nims.2.diseqcA=192\n";

// A timer of a row: its begin, length in minutes and transponder (1..6 of kLamedb).
struct T {
  int64_t begin;
  int minutes;
  int transponder;
  int64_t repeated = 0;
  bool disabled = false;
  std::string extra;  // "stream" or "nodetect"
};

struct Row {
  const char* rule;
  std::vector<std::string> tuners;
  std::string settings;
  std::vector<T> timers;
  std::set<uint32_t> no_tuner;  // timers that get no tuner somewhere
  size_t conflicts;
};

std::vector<PlanTimer> Timers(const std::vector<T>& rows) {
  std::vector<PlanTimer> out;
  for (const T& r : rows) {
    PlanTimer t;
    t.begin = r.begin;
    t.end = r.begin + r.minutes * 60;
    t.serviceref = Ref(r.transponder, static_cast<int>(out.size()) + 1);
    if (r.extra == "stream") t.serviceref = "4097:0:1:0:0:0:0:0:0:0:http%3a//host/x";
    t.conflict_detection = r.extra != "nodetect";
    t.repeated = r.repeated;
    t.disabled = r.disabled;
    t.name = "T" + std::to_string(out.size());
    out.push_back(t);
  }
  return out;
}

ConflictModel Model(const Row& row, int64_t now) {
  return ConflictModel(Timers(row.timers), MakeTuners(row.tuners, row.settings), Transponders(),
                       Cet(), now);
}

const int64_t kTue = Local(2026, 12, 15, 20, 0);  // Tuesday 15-12-2026 20:00
const int64_t kNow = Local(2026, 12, 1, 12, 0);

TEST(ConflictModelTest, OneRowPerRule) {
  const std::vector<Row> rows = {
      {"three timers, three transponders, two tuners",
       {"DVB-S2", "DVB-S2"},
       kOneSatellite,
       {{kTue, 60, 1}, {kTue + 600, 60, 2}, {kTue + 1200, 60, 4}},
       {2},
       1},
      {"two timers on one transponder share a tuner",
       {"DVB-S2"},
       kOneSatellite,
       {{kTue, 60, 2, 0}, {kTue + 600, 60, 2}},
       {},
       0},
      {"a begin at another's end overlaps it",
       {"DVB-S2"},
       kOneSatellite,
       {{kTue, 60, 1}, {kTue + 3600, 60, 2}},
       {1},
       1},
      {"one second later it does not",
       {"DVB-S2"},
       kOneSatellite,
       {{kTue, 60, 1}, {kTue + 3601, 60, 2}},
       {},
       0},
      {"disabled, stream and undetected timers left out",
       {"DVB-S2"},
       kOneSatellite,
       {{kTue, 60, 1},
        {kTue, 60, 2, 0, true},
        {kTue, 60, 2, 0, false, "stream"},
        {kTue, 60, 4, 0, false, "nodetect"}},
       {},
       0},
      {"ended timers left out",
       {"DVB-S2"},
       kOneSatellite,
       {{kNow - 7200, 60, 1}, {kNow - 7200, 60, 2}},
       {},
       0},
      {"an S tuner takes no S2 transponder", {"DVB-S"}, kOneSatellite, {{kTue, 60, 3}}, {0}, 1},
      {"S transponders go to the S tuner first",
       {"DVB-S2", "DVB-S"},
       kOneSatellite,
       {{kTue, 60, 1}, {kTue + 600, 60, 3}},
       {},
       0},
      {"a cable tuner takes no satellite timer",
       {"DVB-C"},
       "",
       {{kTue, 60, 1}, {kTue + 7200, 60, 6}},
       {0},
       1},
      {"a tuner reaches only its positions",
       {"DVB-S2", "DVB-S2"},
       kOneSatellite,
       {{kTue, 60, 5}},
       {0},
       1},
      {"loop-through: the other band is refused",
       {"DVB-S2", "DVB-S2"},
       "config.Nims.0.configMode=simple\nconfig.Nims.0.diseqcA=192\n"
       "config.Nims.1.configMode=loopthrough\nconfig.Nims.1.connectedTo=0\n",
       {{kTue, 60, 2}, {kTue + 600, 60, 1}},
       {1},
       1},
      {"loop-through: same band and polarisation pass",
       {"DVB-S2", "DVB-S2"},
       "config.Nims.0.configMode=simple\nconfig.Nims.0.diseqcA=192\n"
       "config.Nims.1.configMode=loopthrough\nconfig.Nims.1.connectedTo=0\n",
       {{kTue, 60, 2}, {kTue + 600, 60, 4}},
       {},
       0},
      {"equal tuners are independent",
       {"DVB-S2", "DVB-S2"},
       "config.Nims.0.configMode=simple\nconfig.Nims.0.diseqcA=192\n"
       "config.Nims.1.configMode=equal\nconfig.Nims.1.connectedTo=0\n",
       {{kTue, 60, 2}, {kTue + 600, 60, 1}},
       {},
       0},
      {"a tuner set to nothing takes no timer",
       {"DVB-S2", "DVB-S2"},
       "config.Nims.0.configMode=simple\nconfig.Nims.0.diseqcA=192\n"
       "config.Nims.1.configMode=nothing\n",
       {{kTue, 60, 2}, {kTue + 600, 60, 1}},
       {1},
       1},
      {"newer images' dvbs section",
       {"DVB-S2", "DVB-S2"},
       "config.Nims.0.dvbs.configMode=advanced\nconfig.Nims.0.dvbs.advanced.sat.282.lnb=1\n"
       "config.Nims.1.dvbs.configMode=nothing\n",
       {{kTue, 60, 5}, {kTue, 60, 1}},
       {1},
       1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.rule);
    const ConflictReport report = Model(row, kNow).Check();
    ASSERT_TRUE(report.checked);
    const auto no_tuner = TimersWithoutTuner(report);
    EXPECT_EQ(std::set<uint32_t>(no_tuner.begin(), no_tuner.end()), row.no_tuner);
    EXPECT_EQ(report.conflicts.size(), row.conflicts);
  }
}

TEST(ConflictModelTest, ConflictNamesTheHolders) {
  const Row row{"",
                {"DVB-S2", "DVB-S2"},
                kOneSatellite,
                {{kTue, 60, 1}, {kTue + 600, 60, 2}, {kTue + 1200, 60, 4}},
                {},
                0};
  const ConflictReport r = Model(row, kNow).Check();
  ASSERT_EQ(r.conflicts.size(), 1u);
  ASSERT_EQ(r.conflicts[0].holders.size(), 2u);
  EXPECT_EQ(r.conflicts[0].holders[0].timer, 0u);
  EXPECT_EQ(r.conflicts[0].holders[1].timer, 1u);
  EXPECT_EQ(r.conflicts[0].begin, kTue + 1200);
  // The allocation gives the first two their own tuners, by slot.
  ASSERT_EQ(r.allocation.size(), 3u);
  EXPECT_EQ(r.allocation[0].tuner, 0);
  EXPECT_EQ(r.allocation[1].tuner, 1);
  EXPECT_EQ(r.allocation[2].tuner, -1);
}

// Repeated timers: the days (bit 0 Monday), the window of the one-shot timers, and the hour
// kept in local time across the change from summer time.
TEST(ConflictModelTest, RepeatedTimers) {
  struct Case {
    const char* rule;
    std::vector<T> timers;
    std::vector<int64_t> conflict_begins;
  };
  const int64_t tue_dec_1 = Local(2026, 12, 1, 20, 0);
  const std::vector<Case> cases = {
      {"a Tuesday timer collides on Tuesdays only",
       {{tue_dec_1, 60, 1, 2},
        {Local(2026, 12, 7, 20, 15), 45, 2},
        {Local(2026, 12, 8, 20, 15), 45, 2},
        {Local(2026, 12, 9, 20, 15), 45, 2},
        {Local(2026, 12, 15, 20, 15), 45, 2}},
       {Local(2026, 12, 8, 20, 15), Local(2026, 12, 15, 20, 15)}},
      {"not before its own first begin",
       {{Local(2026, 12, 15, 20, 0), 60, 1, 2},
        {Local(2026, 12, 8, 20, 15), 45, 2},
        {Local(2026, 12, 15, 20, 15), 45, 2}},
       {Local(2026, 12, 15, 20, 15)}},
      {"after midnight local, before midnight UTC",
       {{Local(2026, 12, 1, 0, 30), 30, 1, 2},
        {Local(2026, 12, 7, 0, 40), 10, 2},
        {Local(2026, 12, 8, 0, 40), 10, 2},
        {Local(2026, 12, 9, 0, 40), 10, 2}},
       {Local(2026, 12, 8, 0, 40)}},
      {"set in summer, it keeps its local hour in winter",
       {{Local(2026, 7, 1, 20, 0), 60, 1, 127}, {Local(2026, 11, 10, 20, 30), 60, 2}},
       {Local(2026, 11, 10, 20, 30)}},
      {"the night summer time ends",
       {{Local(2026, 10, 20, 1, 30), 60, 1, 127}, {Local(2026, 10, 25, 1, 45), 30, 2}},
       {Local(2026, 10, 25, 1, 45)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    const Row row{"", {"DVB-S2"}, kOneSatellite, c.timers, {}, 0};
    const ConflictReport r = Model(row, Local(2026, 6, 1, 0, 0)).Check();
    std::vector<int64_t> begins;
    for (const Conflict& k : r.conflicts)
      begins.push_back(k.begin);
    EXPECT_EQ(begins, c.conflict_begins);
  }
}

TEST(ConflictModelTest, VerdictAgreesWithTheFullCheck) {
  const Row row{"",
                {"DVB-S2", "DVB-S2"},
                kOneSatellite,
                {{kTue, 60, 1}, {kTue + 600, 60, 2}, {kTue + 1200, 60, 4}, {kTue + 9000, 30, 5}},
                {},
                0};
  const ConflictModel model = Model(row, kNow);
  const auto timers = Timers(row.timers);
  // The third timer as it is: it gets no tuner.
  Verdict v = model.VerdictFor(timers[2], 2u);
  ASSERT_EQ(v.conflicts.size(), 1u);
  EXPECT_EQ(v.conflicts[0].no_tuner[0].timer, kCandidateIndex);
  EXPECT_NE(v.unknowns & kUnknownCiSlots, 0u);
  // Moved one second past the others' end, it is fine.
  PlanTimer moved = timers[2];
  moved.begin = kTue + 600 + 3601;
  moved.end = moved.begin + 600;
  EXPECT_TRUE(model.VerdictFor(moved, 2u).Ok());
  // Moved onto the first timer's transponder, it shares that tuner.
  PlanTimer shared = timers[2];
  shared.serviceref = Ref(1, 77);
  EXPECT_TRUE(model.VerdictFor(shared, 2u).Ok());
  // Weeks after the list's last timer, a daily timer still recurs for the candidate.
  const ConflictModel daily(
      {timers[0], {kTue, kTue + 600, Ref(2), 127, false, false, true, "daily"}},
      MakeTuners({"DVB-S2"}, kOneSatellite), Transponders(), Cet(), kNow);
  PlanTimer later = timers[2];
  later.begin = kTue + 70 * 86400 + 300;
  later.end = later.begin + 600;
  EXPECT_FALSE(daily.VerdictFor(later, std::nullopt).Ok());
  // A new timer beside the list: the first timer holds a tuner in its conflict.
  v = model.VerdictFor(timers[1], std::nullopt);
  ASSERT_FALSE(v.Ok());
  // A disabled candidate is not checked at all.
  PlanTimer off = timers[2];
  off.disabled = true;
  v = model.VerdictFor(off, 2u);
  EXPECT_FALSE(v.takes_part);
  EXPECT_TRUE(v.Ok());
}

TEST(ConflictModelTest, LoadDisablesInListOrder) {
  // The first timer of the list begins last: the full check finds it without a tuner, but the
  // receiver loads it first and switches off the last one instead.
  const Row row{"",
                {"DVB-S2", "DVB-S2"},
                kOneSatellite,
                {{kTue + 1200, 60, 4}, {kTue, 60, 1}, {kTue + 600, 60, 2}, {kTue + 9000, 30, 1}},
                {},
                0};
  const ConflictModel model = Model(row, kNow);
  EXPECT_EQ(model.Check().conflicts.at(0).no_tuner.at(0).timer, 0u);
  EXPECT_EQ(model.DisabledOnLoad(), std::vector<uint32_t>{2});
}

TEST(ConflictModelTest, HostileTimesStayBounded) {
  std::vector<PlanTimer> timers(3);
  timers[0] = {INT64_MIN, INT64_MAX, Ref(1), 127};
  timers[1] = {INT64_MAX - 5, INT64_MAX, Ref(2)};
  timers[2] = {0, 60, "1:0:1:1:1:1:zz:0:0:0:"};  // not a reference: not checked
  const ConflictModel model(timers, MakeTuners({"DVB-S2"}, kOneSatellite), Transponders(), Cet(),
                            kNow);
  const ConflictReport r = model.Check();
  EXPECT_LE(r.allocation.size(), 2u + 7u * kMaxWeeks);
  EXPECT_FALSE(model.VerdictFor(timers[2], std::nullopt).takes_part);
}

TEST(ConflictModelTest, UnknownTunersCheckNothing) {
  const ConflictModel model({}, TunerSet{}, Transponders(), Cet(), kNow);
  const ConflictReport r = model.Check();
  EXPECT_FALSE(r.checked);
  EXPECT_NE(r.unknowns & kUnknownTuners, 0u);
  EXPECT_EQ(TunerStatus(model.Tuners()), "Tuners unknown: conflicts are not checked");
}

}  // namespace
}  // namespace tivolo::plan
