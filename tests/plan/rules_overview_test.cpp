// The preview of every rule: which programmes a timer covers, which would be recorded twice and
// which new recordings meet the tuners in a conflict, on a small guide of two channels on two
// transponders whose clock runs on UTC.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "boxdata/guide_writer.h"
#include "plan/rules_overview.h"

namespace tivolo::plan {
namespace {

using boxdata::AutoTimerRule;
using boxdata::testing::GuideWriter;

constexpr int64_t kMonday = 1767571200;  // 2026-01-05 00:00 UTC
constexpr int64_t kHour = 3600;
const char* const kChannelA = "1:0:19:100:10:1:C00000:0:0:0:";
const char* const kChannelB = "1:0:19:101:20:1:C00000:0:0:0:";

// Channel A: 1 "Krimi" (episode X) Monday 20:00, 2 "Krimi" (episode Y) Tuesday 20:00,
// 3 "Sport" Monday 21:00. Channel B: 4 "Krimi" (episode X again) Wednesday 20:00.
const RuleTitles& Titles() {
  static const RuleTitles titles([] {
    GuideWriter w;
    auto event = [&](uint16_t id, int64_t begin, const char* title, const char* short_text) {
      return boxdata::testing::WrittenEvent{
          id, begin, 3600, {w.Title(title), w.ShortText(short_text)}, 0};
    };
    boxdata::testing::WrittenService a{0x100, 1, 0x10, {}};
    a.events = {event(1, kMonday + 20 * kHour, "Krimi", "X"),
                event(3, kMonday + 21 * kHour, "Sport", "Live"),
                event(2, kMonday + 44 * kHour, "Krimi", "Y")};
    boxdata::testing::WrittenService b{0x101, 1, 0x20, {}};
    b.events = {event(4, kMonday + 68 * kHour, "Krimi", "X")};
    w.services = {a, b};
    return boxdata::ReadGuide(w.Bytes());
  }());
  return titles;
}

RuleRunSettings Settings() {
  RuleRunSettings s;
  s.clock.utc_auto = false;
  s.now = kMonday;
  s.margins.margin_before_minutes = 5;
  s.margins.margin_after_minutes = 5;
  return s;
}

AutoTimerRule Rule(const char* match, const char* channel = nullptr) {
  AutoTimerRule r;
  r.match = match;
  r.search_type = boxdata::RuleSearchType::kExact;
  if (channel) r.services = {channel};
  return r;
}

PlanTimer BoxTimer(const char* ref, int64_t begin, int64_t end) {
  PlanTimer t;
  t.serviceref = ref;
  t.begin = begin;
  t.end = end;
  t.name = "Box";
  return t;
}

// Each item by its event id: "covered", "twice", "no tuner", "takes tuner", joined by spaces.
std::map<int, std::string> Marks(const RulesOverview& o) {
  std::map<int, std::string> out;
  for (const OverviewItem& item : o.items) {
    std::string m = item.covered ? "covered" : "new";
    if (item.twice) m += " twice";
    if (item.no_tuner) m += " no-tuner";
    if (item.takes_tuner) m += " takes-tuner";
    out[Titles().Guide().Events()[item.entry.match.event].event_id] = m;
  }
  return out;
}

TEST(RulesOverview, MarksCoveredTwiceAndConflicts) {
  const ExistingTimer covering{kChannelA, 2, "Krimi", "Y", false, 0, 0};
  const PlanTimer on_b = BoxTimer(kChannelB, kMonday + 20 * kHour + 3000, kMonday + 22 * kHour);
  const PlanTimer on_b_later =
      BoxTimer(kChannelB, kMonday + 20 * kHour + 600, kMonday + 21 * kHour);
  struct Case {
    const char* what;
    std::vector<AutoTimerRule> rules;
    std::vector<ExistingTimer> timers;
    std::vector<PlanTimer> list;
    std::vector<std::string> tuners;
    std::map<int, std::string> expected;
    bool checked;
  };
  AutoTimerRule off = Rule("Sport");
  off.enabled = false;
  AutoTimerRule zap = Rule("Sport");
  zap.conflict_detection = false;
  const std::vector<Case> cases = {
      {"covered by a timer, the same episode on two channels",
       {Rule("Krimi")},
       {covering},
       {},
       {"DVB-S2"},
       {{1, "new twice"}, {2, "covered"}, {4, "new twice"}},
       true},
      {"found by two rules, recorded once; a disabled rule adds nothing",
       {Rule("Krimi", kChannelA), Rule("Krimi", kChannelA), off},
       {},
       {},
       {"DVB-S2"},
       {{1, "new twice"}, {2, "new twice"}},
       true},
      {"a new recording takes the only tuner before a box timer on the other transponder",
       {Rule("Krimi", kChannelA)},
       {},
       {on_b_later},
       {"DVB-S2"},
       {{1, "new takes-tuner"}, {2, "new"}},
       true},
      {"a box timer on the other transponder takes the only tuner first",
       {Rule("Sport")},
       {},
       {on_b},
       {"DVB-S2"},
       {{3, "new no-tuner"}},
       true},
      {"a rule without conflict detection is not checked",
       {zap},
       {},
       {on_b},
       {"DVB-S2"},
       {{3, "new"}},
       true},
      {"tuners unknown: nothing checked", {Rule("Sport")}, {}, {on_b}, {}, {{3, "new"}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OverviewTuners tuners;
    tuners.list = c.list;
    tuners.tuners = ManualTunerSet(c.tuners);
    tuners.service_references = {kChannelA, kChannelB};
    const RulesOverview o = OverviewOfRules(Titles(), c.rules, c.timers, Settings(), tuners);
    EXPECT_EQ(Marks(o), c.expected);
    EXPECT_EQ(o.tuners_checked, c.checked);
    EXPECT_EQ(o.Summary().find("tuners unknown") != std::string::npos, !c.checked) << o.Summary();
  }
}

TEST(RulesOverview, NamesTheOtherRecordingAndCounts) {
  OverviewTuners tuners;
  tuners.list = {BoxTimer(kChannelB, kMonday + 20 * kHour + 600, kMonday + 21 * kHour)};
  tuners.tuners = ManualTunerSet({"DVB-S2"});
  // No references: the recordings' transponders are made from the guide's keys.
  const std::vector<AutoTimerRule> rules{Rule("Krimi")};
  const RulesOverview o = OverviewOfRules(Titles(), rules, {}, Settings(), tuners);
  ASSERT_EQ(o.items.size(), 3u);
  EXPECT_EQ(o.items[0].conflicts_with, std::vector<std::string>{"Box"});
  EXPECT_EQ(o.added, 3u);
  EXPECT_EQ(o.twice, 2u);
  EXPECT_EQ(o.conflicts, 1u);
  EXPECT_EQ(o.Summary().rfind("3 new timers, 2 twice, 1 in a conflict", 0), 0u) << o.Summary();
}

}  // namespace
}  // namespace tivolo::plan
